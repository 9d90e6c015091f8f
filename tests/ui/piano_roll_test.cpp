// The piano roll driven through mouse, wheel and key events on the real window: the classic
// pixels kept, other instruments' notes shown, the rubber band, moves, the clipboard between
// patterns and windows, pastes of hand-written text, Delete, moves refused at the edge, a
// duplicated pattern, undo of each; scrolling and zoom; names, tooltips and the tempo.
#include "ui/draw_pattern.h"
#include "window_rig.h"

#include <algorithm>

using namespace kellix;
using namespace kellix::test;

namespace {

// The centre of a cell at H = 0, V = 0 and the default zoom.
QPoint Cell(int time, int tone) {
    return {64 + 16 * time + 8, (83 - tone) * 16 + 8};
}

// A note placed with the Volume and Pan boxes as they start.
TIdPoint N(int32_t time, int32_t tone) {
    return {time, tone, 0, 256, 128};
}

void Wheel(QWidget* on, int notches, Qt::KeyboardModifiers keys, QPoint at = {100, 50}) {
    QWheelEvent wheel(at, on->mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, keys,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(on, &wheel);
}

QAction* MenuItem(QMainWindow& w, const QString& caption) {
    const QList<QAction*> items = w.findChildren<QAction*>();
    return *std::find_if(items.begin(), items.end(),
                         [&](QAction* a) { return a->text() == caption; });
}

} // namespace

class PianoRollTest : public QObject {
    Q_OBJECT

    WindowRig rig_;

    TKellixForm& Open() {
        TKellixForm& f = rig_.Show();
        f.ScrollHPattern->setValue(0);
        f.ScrollVPattern->setValue(0);
        return f;
    }
    void Place(std::initializer_list<QPoint> cells) {
        for (QPoint at : cells) {
            QTest::mouseClick(rig_.Form->EditPattern, Qt::LeftButton, {}, at);
        }
    }
    void Key(int key, Qt::KeyboardModifiers keys = {}) {
        QTest::keyClick(rig_.Form->EditPattern, Qt::Key(key), keys);
    }
    // Edit menu keys go to the window, whose menu takes them.
    void MenuKey(int key) { QTest::keyClick(rig_.Form.get(), Qt::Key(key), Qt::ControlModifier); }
    uint32_t Shown(QPoint at) const {
        return RgbAt(rig_.Form->EditPattern->Image(), at.x(), at.y());
    }

  private slots:
    void cleanup() { rig_.Form.reset(); }

    void classicPixelsKeptAndOtherInstrumentsShown() {
        TKellixForm& f = Open();
        Place({Cell(0, 83)});
        // The cell's grid lines, the grey frame just inside, black between frame and fill.
        const int probes[][3] = {{64, 5, 0x77}, {65, 1, 0xAA}, {79, 15, 0xAA},
                                 {66, 2, 0x00}, {70, 0, 0x77}, {80, 8, 0x77}};
        for (const auto& p : probes) {
            QCOMPARE(Shown({p[0], p[1]}), GreyRgb(uint32_t(p[2])));
        }
        QVERIFY(Shown({70, 8}) != GreyRgb(0)); // the fill, by volume
        f.Instruments->setCurrentIndex(f.Instruments->model()->index(3, 0));
        // Instrument 1's note is now a dim fill in its colour, without a frame.
        QCOMPARE(Shown({65, 1}), GreyRgb(0x00));
        const uint32_t fill = Shown({66, 2});
        QVERIFY(fill != GreyRgb(fill & 0xFF));
    }

    void rubberBandSelectsAndDragMovesTheSelection() {
        TKellixForm& f = Open();
        Place({Cell(0, 82), Cell(1, 82), Cell(2, 80)});
        QTest::mousePress(f.EditPattern, Qt::LeftButton, Qt::ShiftModifier, Cell(0, 83));
        MouseMove(f.EditPattern, Cell(1, 82), Qt::LeftButton);
        QCOMPARE(Shown(Cell(0, 83)), 0x00FFFFu); // the band's corner
        QTest::mouseRelease(f.EditPattern, Qt::LeftButton, Qt::ShiftModifier, Cell(1, 82));
        QCOMPARE(f.Model().Selected().Notes, (std::vector<int32_t>{0, 1}));
        QCOMPARE(Shown({64, 16}), 0x00FFFFu); // the selection on the cell's grid lines

        // A drag of a selected note moves them all, two steps on and a semitone up.
        QTest::mousePress(f.EditPattern, Qt::LeftButton, {}, Cell(1, 82));
        MouseMove(f.EditPattern, Cell(3, 83), Qt::LeftButton);
        QTest::mouseRelease(f.EditPattern, Qt::LeftButton, {}, Cell(3, 83));
        // The third note was not selected.
        QCOMPARE(rig_.Notes(), (std::vector{N(2, 83), N(3, 83), N(2, 80)}));
        MenuKey(Qt::Key_Z);
        QCOMPARE(rig_.Notes(), (std::vector{N(0, 82), N(1, 82), N(2, 80)}));
        // Shift+click takes one note out; Escape all.
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, Qt::ShiftModifier, Cell(0, 82));
        QCOMPARE(f.Model().Selected().Notes, (std::vector<int32_t>{1}));
        Key(Qt::Key_Escape);
        QVERIFY(f.Model().Selected().Notes.empty());
    }

    void copyAndPasteBetweenPatternsAndWindows() {
        TKellixForm& f = Open();
        Place({Cell(0, 83), Cell(2, 81)});
        Key(Qt::Key_A, Qt::ControlModifier);
        MenuKey(Qt::Key_C);
        QVERIFY(QApplication::clipboard()->text().startsWith("  Point0: array [0..1]"));
        f.Pattern->setCurrentIndex(1);
        emit f.Pattern->activated(1);
        MouseMove(f.EditPattern, Cell(3, 70), Qt::NoButton); // pastes at the step under the mouse
        MenuKey(Qt::Key_V);
        QCOMPARE(rig_.Notes(1), (std::vector{N(3, 83), N(5, 81)}));
        QCOMPARE(f.Model().Selected().Notes, (std::vector<int32_t>{0, 1}));
        MenuKey(Qt::Key_Z);
        QCOMPARE(rig_.Notes(1).size(), std::size_t{0});

        // Another window takes the text, at its step cursor while the mouse is elsewhere.
        TKellixForm& g = Open();
        QTest::mouseClick(g.EditPattern, Qt::LeftButton, {}, {10, 10}); // the keyboard
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(g.EditPattern, &leave);
        MenuKey(Qt::Key_V);
        QCOMPARE(rig_.Notes(), (std::vector{N(0, 83), N(2, 81)}));

        // Hand-written elements, as copied out of a song file, become this instrument's notes.
        QApplication::clipboard()->setText("( Time: 0; Tone: 60; Instrument: 7; Vol: 999; "
                                           "Pan: 3)\n( time: 1; tone: 62; instrument: 7; "
                                           "vol: 100; pan: 4)");
        MenuKey(Qt::Key_V);
        QCOMPARE(rig_.Notes()[2], (TIdPoint{0, 60, 0, 258, 3}));
        MenuKey(Qt::Key_X);
        QCOMPARE(rig_.Notes().size(), std::size_t{2});
        MenuKey(Qt::Key_X); // nothing selected: the whole pattern goes
        QCOMPARE(rig_.Notes().size(), std::size_t{0});

        // In the track editor the keys copy and paste the track's pattern list.
        QTest::mouseClick(g.TrackEdit, Qt::LeftButton, {}, {20, 4}); // pattern 2 joins track 1
        MenuKey(Qt::Key_C);
        QCOMPARE(QApplication::clipboard()->text(),
                 QString("  PatternIndex0: array [0..0] of longint=(1);\r\n\r\n"));
        QApplication::clipboard()->setText("PatternIndex0: array [0..1] of longint=(4,2);");
        MenuKey(Qt::Key_V);
        QCOMPARE(g.Model().Song().Tracks[0].PatternIndex, (SharedArray<int32_t>{4, 2}));
        QApplication::clipboard()->setText("PatternIndex0: array [0..0] of longint=(-1);");
        MenuKey(Qt::Key_V); // names no pattern: refused
        QCOMPARE(g.Model().Song().Tracks[0].PatternIndex, (SharedArray<int32_t>{4, 2}));
    }

    void deleteRefusedMovesAndDuplicatedPatterns() {
        TKellixForm& f = Open();
        Place({Cell(0, 83), Cell(1, 80)});
        Key(Qt::Key_A, Qt::ControlModifier);
        Key(Qt::Key_Up);
        QCOMPARE(rig_.Notes()[0].Tone, 83);
        QVERIFY(f.StatusPanel->text().startsWith("Not moved"));
        Key(Qt::Key_Down, Qt::ShiftModifier);
        Key(Qt::Key_Right);
        QCOMPARE(rig_.Notes(), (std::vector{N(1, 71), N(2, 68)}));
        Key(Qt::Key_Delete);
        QCOMPARE(rig_.Notes().size(), std::size_t{0});
        MenuKey(Qt::Key_Z);
        QCOMPARE(rig_.Notes(), (std::vector{N(1, 71), N(2, 68)}));

        MenuItem(f, "Duplicate Pattern")->trigger();
        QCOMPARE(f.Pattern->count(), 11);
        QCOMPARE(f.Pattern->currentIndex(), 10);
        QCOMPARE(rig_.Notes(10), rig_.Notes(0));
        MenuItem(f, "Clear Pattern")->trigger();
        QCOMPARE(rig_.Notes(10).size(), std::size_t{0});
        MenuKey(Qt::Key_Z);
        MenuKey(Qt::Key_Z);
        QCOMPARE(f.Pattern->count(), 10);
    }

    void wheelScrollsZoomsAndPatternsComeIntoView() {
        TKellixForm& f = Open();
        const int lines = QApplication::wheelScrollLines();
        f.ScrollVPattern->setValue(750);
        Wheel(f.EditPattern, 1, {});
        QCOMPARE(f.ScrollVPattern->value(), 750 - 16 * lines);
        Wheel(f.EditPattern, -1, Qt::ShiftModifier);
        QCOMPARE(f.ScrollHPattern->value(), 16 * lines);
        f.ScrollVPattern->triggerAction(QAbstractSlider::SliderSingleStepAdd);
        QCOMPARE(f.ScrollVPattern->value(), 750 - 16 * lines + 16);

        // Zoomed in at the keyboard's edge: steps 24 pixels wide, step 1's line at 88.
        f.ScrollHPattern->setValue(0);
        Wheel(f.EditPattern, 1, Qt::ControlModifier, {64, 50});
        QCOMPARE(Shown({88, 5}), GreyRgb(0x77));
        QCOMPARE(Shown({80, 5}), GreyRgb(0x00));
        QCOMPARE(f.ScrollHPattern->singleStep(), 24);

        // A pattern shown anew brings its notes into view.
        f.Model().ShowPattern(2);
        QVERIFY(f.Model().PasteNotes("( Time: 40; Tone: 0; Instrument: 0; Vol: 9; Pan: 9)", 40));
        f.Pattern->setCurrentIndex(0);
        emit f.Pattern->activated(0);
        f.Pattern->setCurrentIndex(2);
        emit f.Pattern->activated(2);
        const int y = (83 - 0) * 16 - f.ScrollVPattern->value();
        QVERIFY(y > 0 && y + 16 < f.EditPattern->height());
        QVERIFY(f.ScrollHPattern->value() > 0);
    }

    // Zoom steps, and the play line followed page by page (the line at 64 + step x 16 - H).
    void zoomStepsAndFollowing() {
        QVERIFY(ZoomStep(20, -1) == 16 && ZoomStep(64, 1) == 64 && ZoomStep(16, -3) == 8);
        QCOMPARE(FollowH(10.0, {0, 0, 16}, 400), 0);     // line at 224: in view
        QCOMPARE(FollowH(30.0, {0, 0, 16}, 400), 480);   // at 544: the next page
        QCOMPARE(FollowH(1.0, {480, 0, 16}, 400), 16);   // back at the start
        QCOMPARE(FollowH(-1.0, {480, 0, 16}, 400), 480); // not in the shown pattern
    }

    void namesTooltipsAndTempo() {
        TKellixForm& f = Open();
        f.Model().SetCodeText("// bass \r\n Result:=CreateSample( 100 , 1 );");
        f.Model().RunCode();
        QCOMPARE(f.Instruments->model()->index(0, 0).data().toString(), QString("1  bass"));
        Place({Cell(0, 83)});
        QHelpEvent help(QEvent::ToolTip, Cell(0, 83), f.EditPattern->mapToGlobal(Cell(0, 83)));
        QApplication::sendEvent(f.EditPattern, &help);
        QCOMPARE(QToolTip::text(), QString("Instrument 1, B8, step 0, Vol 256, Pan 128"));

        // 100 x 32 = 3200 frames: 72.56 ms; 44100 x 60 / (100 x 32 x 4) = 206.72 BPM.
        TypeOver(f.SpeedTrack, "100", Qt::Key_Return);
        const QString tempo("Speed 100: a step lasts 72.6 ms, 206.7 BPM at four steps a beat");
        QCOMPARE(f.StatusPanel->text(), tempo);
        QCOMPARE(f.SpeedTrack->toolTip(), tempo);
    }
};

QTEST_MAIN(PianoRollTest)
#include "piano_roll_test.moc"
