// The main window and its tool windows driven through events on the SDL dummy sound device:
// what it shows at start, the count edits, the code box with F9, the Edit menu by
// focus, the question on closing; the pattern and track editors and the play list checked on
// the pictures they show, on the song and on the live mixer; the tool windows.
#include "ui/code_editor.h"
#include "ui/env_form.h"
#include "ui/reverb_form.h"
#include "ui/stereo_form.h"
#include "window_rig.h"

using namespace kellix;
using namespace kellix::test;

namespace {

// A song of nothing but its speed (100) and row.
constexpr const char* kEmptySong =
    " Const\r\n  Track:TTrack=(\r\n   TrackIndexCount: 0;\r\n   TrackCount: 0;\r\n"
    "   PatternCount: 0;\r\n   InstrumentCount: 0;\r\n   Speed: 100;\r\n   Row: 8;\r\n  );\r\n";

} // namespace

class WindowTest : public QObject {
    Q_OBJECT

    TreverbformForm reverb_;
    TFromenvForm env_;
    TformstereoForm stereo_;
    WindowRig rig_;

    TKellixForm& Open() { return rig_.Show({&reverb_, &env_, &stereo_}); }
    // A window whose instrument 2 has a long sample, so that its notes sound.
    TKellixForm& OpenWithInstrument2() {
        TKellixForm& f = Open();
        ClickRow(f.Instruments, 1);
        f.Model().SetCodeText(kLong);
        f.Model().RunCode();
        f.ScrollHPattern->setValue(0);
        f.ScrollVPattern->setValue(0);
        return f;
    }
    // Pattern editor clicks at image pixels, with the scroll bars where the test put them.
    void PatternClick(Qt::MouseButton button, int x, int y) {
        QTest::mouseClick(rig_.Form->EditPattern, button, {}, QPoint(x, y));
    }
    int Notes() const { return Song().Patterns[0].PointsCount(); }
    const TTrack& Song() const { return rig_.Form->Model().Song(); }
    Voice LastVoice() const { return rig_.Live->Voices().back(); }
    // The live clock's frame at which the last voice starts.
    int64_t LastVoiceStart() const {
        for (;;) {
            const int64_t clock = rig_.Live->MixedFrames();
            const Voice v = LastVoice();
            if (clock == rig_.Live->MixedFrames()) {
                return clock - v.Position / 4;
            }
        }
    }

  private slots:
    void cleanup() {
        rig_.Form.reset();
        rig_.Ask = PreparedDialogs{};
    }

    void startsWithTheDefaultSongAndCountEditsCommitOnEnterOnly() {
        TKellixForm& f = Open();
        QCOMPARE(f.windowTitle(), QString("Kellix"));
        QCOMPARE(f.frameGeometry().size(), QSize(786, 621));
        QCOMPARE(f.SamCode->Code(), std::string(DefaultInstrumentCode));
        QCOMPARE(f.StatusPanel->text(), QString("Ok"));
        // The layout and the designed scroll position.
        QCOMPARE(f.ScrollVPattern->value(), 750);
        QCOMPARE(f.ScrollVPattern->maximum(), 1554 - f.EditPattern->height());

        TypeOver(f.PatternCount, "12", Qt::Key_Return);
        QCOMPARE(f.Pattern->count(), 12);
        TypeOver(f.PatternCount, "x", Qt::Key_Enter);
        QCOMPARE(f.PatternCount->text(), QString("12"));

        // Text typed and not committed goes at the next click, into the same edit too.
        QTest::keyClicks(f.TrackCount, "7");
        QTest::mouseClick(f.TrackCount, Qt::LeftButton);
        QCOMPARE(f.TrackCount->text(), QString("10"));
        QTest::keyClicks(f.SpeedTrack, "9");
        QTest::mouseClick(f.SampleImage, Qt::LeftButton);
        QCOMPARE(f.SpeedTrack->text(), QString("128"));
        // So does any command, given from the box's own keyboard focus.
        QTest::keyClicks(f.SpeedTrack, "200");
        QTest::keyClick(f.SpeedTrack, Qt::Key_F8);
        QCOMPARE(f.SpeedTrack->text(), QString("128"));
    }

    // Presses that pile up behind a slow run ask for one run, not one each.
    void generatorRequestsDoNotQueueUp() {
        TKellixForm& f = Open();
        QSignalSpy ran(&f, &TKellixForm::GeneratorRan);
        for (int i = 0; i < 200; ++i) {
            QTest::keyClick(&f, Qt::Key_F9);
        }
        QCOMPARE(ran.count(), 0);
        QTRY_COMPARE(ran.count(), 1);
        QTest::qWait(50);
        QCOMPARE(ran.count(), 1);
    }

    // Every click on the list counts, on the selected row and below the last one too.
    void instrumentListClicksOnTheSelectedRowAndBelowTheLast() {
        TKellixForm& f = Open();
        const auto sampled = [&f] { return f.Model().Doc().Samples.At(0) != nullptr; };
        QVERIFY(!sampled());
        QTest::keyClicks(f.TrackCount, "7");
        ClickRow(f.Instruments, 0);
        QCOMPARE(f.TrackCount->text(), QString("10"));
        QVERIFY2(sampled(), "the click made the missing sample");

        QTest::mouseClick(f.Instruments->viewport(), Qt::LeftButton, {},
                          QPoint(10, f.Instruments->viewport()->height() - 3));
        QCOMPARE(f.Model().ActiveInstrument(), nullptr);
        TypeOver(f.SampleTone, "5", Qt::Key_Return);
        QCOMPARE(Song().Instrument[0].SampleTone, 0);
        ClickRow(f.Instruments, 0);
        QCOMPARE(f.Model().ActiveInstrument(), &Song().Instrument[0]);

        // Without instruments there is no code to edit or run.
        TypeOver(f.InstrumentCount, "0", Qt::Key_Return);
        QVERIFY(!f.SamCode->isEnabled() && !f.MCGeneratorExe->isEnabled());
        TypeOver(f.InstrumentCount, "2", Qt::Key_Return);
        QVERIFY(f.SamCode->isEnabled() && f.MCGeneratorExe->isEnabled());
    }

    void compileErrorThenF9DrawsTheWaveform() {
        TKellixForm& f = Open();
        f.SamCode->setFocus();
        f.SamCode->selectAll();
        QTest::keyClicks(f.SamCode, "Result:=CreateSampel( 100 , 1 );");
        PressF9(f);
        QVERIFY(f.StatusPanel->text().startsWith("Error: Undeclared indentifier CreateSampel"));
        QCOMPARE(f.Model().LastRun().ErrorPos, 8);

        f.SamCode->selectAll();
        for (const char* line :
             {"Result:=CreateSample( 44100 , 1 );", "GSample( Result, FG_SIN, 440, 30000 );"}) {
            QTest::keyClicks(f.SamCode, line);
            QTest::keyClick(f.SamCode, Qt::Key_Return);
        }
        PressF9(f);
        QCOMPARE(f.StatusPanel->text(), QString("Ok"));
        QCOMPARE(Song().Instrument[0].Code.Text(), f.SamCode->Code());
        // A loud sine fills every column of the picture with a tall black range (column 0 holds
        // the first frame only): rows 10 and 86 of 97 are black.
        const QImage shown = f.SampleImage->grab().toImage();
        for (int x : {1, shown.width() - 1}) {
            QVERIFY(RgbAt(shown, x, 10) == 0 && RgbAt(shown, x, 86) == 0);
        }
    }

    // The Edit menu's keys act where the focus is: Cut in the code box takes its text, Paste of
    // text that holds no notes changes nothing, Cut in the pattern empties it. Undo and redo go
    // back and forth in the song, or in the code box's typing when it has the focus, whether the
    // box takes the keys itself or the menu gets them.
    void editMenuFollowsTheFocus() {
        TKellixForm& f = Open();
        f.SamCode->setFocus();
        f.SamCode->selectAll();
        QTest::keyClicks(f.SamCode, "abc");
        f.SamCode->selectAll();
        QTest::keyClick(f.SamCode, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("abc"));
        PatternClick(Qt::LeftButton, 64 + 16 * 3 + 5, 20);
        QTest::keyClick(&f, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.SamCode->Code(), std::string());
        QCOMPARE(Notes(), 1);
        QTest::keyClick(&f, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(Notes(), 0);

        QMenu* edit = f.menuBar()->actions()[1]->menu();
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Notes(), 1);
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Notes(), 0);
        emit edit->aboutToShow();
        QVERIFY(!edit->actions()[3]->isEnabled());
        emit edit->aboutToHide();
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(Notes(), 1);
        f.SamCode->setFocus();
        f.SamCode->moveCursor(QTextCursor::End);
        QTest::keyClicks(f.SamCode, "//");
        for (QWidget* to : {static_cast<QWidget*>(f.SamCode), static_cast<QWidget*>(&f)}) {
            QTest::keyClick(to, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(f.Model().Code(), std::string());
            QTest::keyClick(to, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(f.Model().Code(), std::string("//"));
        }
        QCOMPARE(Notes(), 1);
    }

    // A song file dropped onto the window opens as Open opens it; a name that is not UTF-8
    // arrives percent-encoded and opens as the bytes it is.
    void aDroppedSongOpens() {
        TKellixForm& f = Open();
        TempFolder dir;
        for (const char* name : {"dropped.txt", "caf\xe9.txt"}) {
            const std::string path = dir / name;
            WriteFile(path, kEmptySong);
            QMimeData data;
            data.setUrls({QUrl::fromEncoded(
                "file://" + QByteArray::fromStdString(path).toPercentEncoding("/"))});
            QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&f, &enter);
            QVERIFY(enter.isAccepted());
            QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(&f, &drop);
            QCOMPARE(QByteArray::fromStdString(f.Model().FileName()),
                     QByteArray::fromStdString(path));
            QCOMPARE(Song().Speed, 100);
        }
    }

    void closingAsksAboutUnsavedChanges() {
        TKellixForm& f = Open();
        PatternClick(Qt::LeftButton, 100, 30);
        rig_.Ask.SaveChangesAnswers = {SaveAnswer::Cancel};
        QVERIFY(!f.close());
        QCOMPARE(rig_.Ask.SaveChangesAsked, 1);
        // File > Exit asks once; Discard closes the window.
        rig_.Ask.SaveChangesAnswers = {SaveAnswer::Discard};
        QMenu* file = f.menuBar()->actions()[0]->menu();
        file->actions().last()->trigger();
        QCOMPARE(rig_.Ask.SaveChangesAsked, 2);
        QVERIFY(!f.isVisible());
    }

    void clicksMapToCellsAndPlaceNotes() {
        TKellixForm& f = OpenWithInstrument2();
        const int voices = rig_.Voices();
        PatternClick(Qt::LeftButton, 63, 0); // the keyboard: auditions tone 83, places nothing
        QCOMPARE(rig_.Voices(), voices + 1);
        QCOMPARE(LastVoice().Step, PitchToStep(83.0f));

        TypeOver(f.Volume, "200x");
        TypeOver(f.Panning, "40");
        PatternClick(Qt::LeftButton, 64, 0);
        const TIdPoint p = Song().Patterns[0].Points[0];
        QVERIFY(p.Time == 0 && p.Tone == 83 && p.Instrument == 1 && p.Vol == 200);
        QCOMPARE(LastVoice().Peak, 200 * 127);
        QCOMPARE(LastVoice().Pan, 40);
        // The image shown has the frame just inside the cell.
        QCOMPARE(RgbAt(f.EditPattern->Image(), 65, 1), GreyRgb(0xAA));

        PatternClick(Qt::LeftButton, 70, 10); // the same cell again: nothing, not even a sound
        QCOMPARE(Notes(), 1);
        QCOMPARE(rig_.Voices(), voices + 2);

        // At the designed position the top row is tone 37.
        f.ScrollVPattern->setValue(750);
        PatternClick(Qt::LeftButton, 64 + 16 * 2, 0);
        QCOMPARE(Song().Patterns[0].Points[1].Tone, 37);
    }

    void notesBelongToTheirInstrument() {
        TKellixForm& f = OpenWithInstrument2();
        PatternClick(Qt::LeftButton, 100, 40);
        ClickRow(f.Instruments, 2);
        QCOMPARE(RgbAt(f.EditPattern->Image(), 97, 33), GreyRgb(0x00)); // not instrument 3s
        PatternClick(Qt::LeftButton, 100, 40);
        QCOMPARE(Notes(), 2);
        PatternClick(Qt::RightButton, 100, 40);
        QCOMPARE(Song().Patterns[0].Points[0].Instrument, 1);

        // A right-button drag over a row of notes removes them all.
        for (int x = 0; x < 4; ++x) {
            PatternClick(Qt::LeftButton, 64 + 16 * x + 8, 8);
        }
        QTest::mousePress(f.EditPattern, Qt::RightButton, {}, QPoint(64 + 8, 8));
        for (int x = 1; x < 4; ++x) {
            MouseMove(f.EditPattern, QPoint(64 + 16 * x + 8, 8), Qt::RightButton);
        }
        QTest::mouseRelease(f.EditPattern, Qt::RightButton, {}, QPoint(64 + 56, 8));
        QCOMPARE(Notes(), 1);
    }

    void trackEditorTogglesPatternsOfTheShownTrack() {
        TKellixForm& f = Open();
        // The song's arrays are replaced as they change: look again after each click.
        const auto track = [this] { return Song().Tracks[0]; };
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(100, 5)); // the strip
        QVERIFY((track().PatternIndex == SharedArray<int32_t>{7, 6}));
        QCOMPARE(RgbAt(f.TrackEdit->Image(), 17, 17), GreyRgb(0xAA)); // pattern 7's frame
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(track().PatternCount(), 1);
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 40)); // pattern 13: none
        QCOMPARE(track().PatternCount(), 1);

        // 96 pixels wide: still six labelled cells a row, the same six that clicks select.
        f.PanelTracks->setFixedWidth(113);
        QTRY_COMPARE(f.TrackEdit->width(), 96);
        QVERIFY(AnyPixelOtherThan(f.TrackEdit->Image(), QRect(81, 2, 14, 13),
                                  {GreyRgb(0), GreyRgb(0x77)}));
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(85, 4));
        QCOMPARE(track().PatternIndex[1], 5);
    }

    void playListAndTrackComboWorkTogether() {
        TKellixForm& f = OpenWithInstrument2();
        ClickRow(f.PlayList, 2);
        QCOMPARE(f.Track->currentText(), QString("3"));
        f.Track->setCurrentIndex(4);
        emit f.Track->activated(4);
        QCOMPARE(f.PlayList->model()->index(2, 0).data().toString(), QString("5"));

        // A typed text that names no item stores -1, shown as 0; no track is shown.
        f.Track->lineEdit()->selectAll();
        QTest::keyClicks(f.Track->lineEdit(), "x");
        QCOMPARE(f.PlayList->model()->index(2, 0).data().toString(), QString("0"));
        QCOMPARE(f.Model().ActiveTrack(), nullptr);

        // After lowering the track count, a row naming a track past it selects nothing.
        TypeOver(f.TrackCount, "3", Qt::Key_Return);
        ClickRow(f.PlayList, 5);
        QCOMPARE(f.Track->currentIndex(), -1);

        // Play From plays from the selected row: row 6 names track 1, whose note starts one
        // entry (65536 frames) after the command.
        PatternClick(Qt::LeftButton, 64 + 8, 8);
        ClickRow(f.PlayList, 6);
        f.Track->setCurrentIndex(0);
        emit f.Track->activated(0);
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(4, 4)); // pattern 1 joins
        ClickRow(f.PlayList, 5);
        const int64_t pulled = rig_.Live->PlayedBytes() / 4;
        const int voices = rig_.Voices();
        f.Model().PlayFrom();
        // The note becomes a voice shortly before it sounds; the play starts at the next
        // quarter the device has not taken.
        QTRY_VERIFY_WITH_TIMEOUT(rig_.Voices() > voices, 5000);
        const int64_t start = LastVoiceStart() - 65536;
        QCOMPARE(start % kQuarterFrames, 0);
        QVERIFY(start + kLeadFrames >= pulled);
        QVERIFY(start + kLeadFrames <= pulled + kQuarterFrames + 4096);
    }

    // While the shown pattern plays a thin line follows the step being heard; a song play marks
    // the row being heard without selecting it. Once nothing plays, the editors look as before.
    void playPositionAppearsAndVanishes() {
        TKellixForm& f = OpenWithInstrument2();
        const QImage before = f.EditPattern->grab().toImage().convertToFormat(QImage::Format_RGB32);
        f.Model().PlayPattern();
        QTRY_VERIFY_WITH_TIMEOUT(f.EditPattern->Marker() > 64, 5000);
        const QImage playing = f.EditPattern->grab().toImage();
        QCOMPARE(RgbAt(playing, f.EditPattern->Marker(), 20), 0x40B0FFu);

        ClickRow(f.PlayList, 3);
        f.Model().Play();
        const QModelIndex first = f.PlayList->model()->index(0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(first.data(Qt::BackgroundRole).isValid(), 5000);
        QCOMPARE(f.PlayList->currentIndex().row(), 3);

        f.Model().Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!first.data(Qt::BackgroundRole).isValid(), 1000);
        f.MCLoop->trigger(); // Controll > "Loop" is a check item of the model's setting
        QVERIFY(f.MCLoop->isChecked() && f.Model().Loop());
        QCOMPARE(f.EditPattern->grab().toImage().convertToFormat(QImage::Format_RGB32), before);
    }

    void toolWindowsFollowTheMenuAndTheInstrument() {
        TKellixForm& f = OpenWithInstrument2();
        f.MCEnv->trigger();
        QVERIFY(env_.isVisible() && f.MCEnv->isChecked());
        env_.close();
        QVERIFY(!f.MCEnv->isChecked());
        f.MCEnv->trigger();

        ClickRow(f.Instruments, 2);
        TypeOver(env_.Edit3, "33");
        ClickRow(f.Instruments, 1);
        QCOMPARE(env_.Edit3->text(), QString("0"));
        ClickRow(f.Instruments, 2);
        QCOMPARE(env_.Edit3->text(), QString("33"));
        ClickRow(f.Instruments, 1);
        TypeOver(env_.Edit1, "500");
        QCOMPARE(Song().Instrument[1].Env.Attack, 500);
        PatternClick(Qt::LeftButton, 32, 0); // an audition starts a voice with the new envelope
        QCOMPARE(LastVoice().Env.Attack, 500);
        // An empty or negative box keeps the value and says why, inside the window.
        for (auto [typed, error] : {std::pair{"", "'' is not a valid integer value"},
                                    std::pair{"-1", "'-1' must be 0 or more"}}) {
            TypeOver(env_.Edit1, typed);
            QCOMPARE(Song().Instrument[1].Env.Attack, 500);
            QCOMPARE(env_.NumberError(), QString(error));
        }
        QVERIFY(env_.height() > 82);

        // The Reverb window's boxes reach the effect, read leniently: a letter ends the number.
        TypeOver(reverb_.Edit1, "1234x");
        QCOMPARE(f.Model().Effects().Reverb.Amplitude, 1234);
    }
};

QTEST_MAIN(WindowTest)
#include "window_test.moc"
