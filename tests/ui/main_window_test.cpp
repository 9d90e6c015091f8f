// The main window driven through events: what it shows at start, the count edits and their
// keys, the menu, the code box with F9, the Edit menu by focus (Undo and Redo too), the question
// on closing, and the whole start-up and shut-down on the SDL sound device.
#include "ui/code_editor.h"
#include "ui/fatal_box.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui_fixture.h"

#include "audio/device/sdl_output.h"
#include "script/dllgen.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScrollBar>
#include <QTimer>
#include <QtTest>

using namespace kellix;
using namespace kellix::test;

namespace {

int BlackRows(const QImage& image, int x) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        n += (image.pixel(x, y) & 0xFFFFFF) == 0;
    }
    return n;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

    FakeDevice device_;
    PreparedDialogs ask_;
    std::unique_ptr<TKellixForm> form_;

    TKellixForm& Open() {
        form_ = std::make_unique<TKellixForm>(ToolWindows{}, &ask_);
        form_->show();
        form_->activateWindow();
        [[maybe_unused]] bool active = QTest::qWaitForWindowActive(form_.get());
        QTest::qWait(20);
        return *form_;
    }

  private slots:
    void initTestCase() {
        StartScripting();
        SetUpOutput(&device_);
    }
    void cleanup() {
        form_.reset();
        ask_ = PreparedDialogs{};
    }
    void cleanupTestCase() {
        TearDownOutput();
        EmptySong(Song, InstrumentCode);
        EndScripting();
    }

    void startsWithTheDefaultSongShown() {
        TKellixForm& f = Open();
        QCOMPARE(f.windowTitle(), QString("Kellix"));
        QCOMPARE(f.frameGeometry().size(), QSize(786, 621));
        QCOMPARE(f.Instruments->model()->rowCount(), 10);
        QCOMPARE(f.PlayList->model()->index(9, 0).data().toString(), QString("10"));
        QCOMPARE(f.Track->currentText(), QString("1"));
        const std::pair<QLineEdit*, const char*> edits[] = {
            {f.TrackIndex, "10"}, {f.SpeedTrack, "128"}, {f.PatternRow, "16"},
            {f.Volume, "256"},    {f.Panning, "128"},    {f.SampleTone, "0"},
        };
        for (auto [edit, text] : edits) {
            QCOMPARE(edit->text(), QString(text));
        }
        QCOMPARE(f.SamCode->Code(), std::string(DefaultInstrumentCode));
        QCOMPARE(f.StatusPanel->text(), QString("Ok"));
        QCOMPARE(f.Model().Focus(), EditFocus::Code);
        QCOMPARE(Song.Instrument[0].Sample, nullptr); // empty code makes no sample
        // The layout: the lists and the track panel at their widths, the instrument area between.
        QCOMPARE(f.Instruments->width(), 113);
        QCOMPARE(f.PlayList->width(), 49);
        QCOMPARE(f.SampleImage->height(), 97);
        QCOMPARE(f.TrackEdit->width(), 103);
        QCOMPARE(f.ScrollVPattern->value(), 750);
        QCOMPARE(f.ScrollVPattern->maximum(), 1554 - f.EditPattern->height());
        QCOMPARE(f.ScrollHPattern->maximum(), 16 * 512 - f.EditPattern->width() + 16);
    }

    void menuHasEveryCaptionAndShortcut() {
        TKellixForm& f = Open();
        QStringList seen;
        for (QAction* menu : f.menuBar()->actions()) {
            seen << menu->text();
            for (QAction* item : menu->menu()->actions()) {
                seen << (item->isSeparator() ? "-"
                                             : item->text() + "|" + item->shortcut().toString());
            }
        }
        const QStringList expected =
            QString("File;New|Ctrl+N;Open|Ctrl+O;Recent|;-;Save|Ctrl+S;Save as..|;"
                    "Save result as..|;-;Open Instrument|;Save Instrument as..|;-;Exit|;"
                    "Edit;Cut|Ctrl+X;Copy|Ctrl+C;Paste|Ctrl+V;Undo|Ctrl+Z;Redo|Ctrl+Shift+Z;"
                    "Controll;Play|F5;Play From|;Play Track|F6;Play Pattern|F7;Stop|F8;-;"
                    "Generator Exe|F9;Reverb|;Env|;Stereo Delay|;Help;About|")
                .split(';');
        QCOMPARE(seen.mid(0, expected.size()), expected);
    }

    void countEditsCommitOnEnterOnly() {
        TKellixForm& f = Open();
        f.PatternCount->clear();
        QTest::keyClicks(f.PatternCount, "12");
        QTest::keyClick(f.PatternCount, Qt::Key_Return);
        QCOMPARE(f.Pattern->count(), 12);
        f.PatternCount->clear();
        QTest::keyClicks(f.PatternCount, "x");
        QTest::keyClick(f.PatternCount, Qt::Key_Enter);
        QCOMPARE(f.PatternCount->text(), QString("12"));

        // Text typed and not committed goes at the next click, into the same edit too.
        QTest::keyClicks(f.TrackCount, "7");
        QTest::mouseClick(f.TrackCount, Qt::LeftButton);
        QCOMPARE(f.TrackCount->text(), QString("10"));
        QTest::keyClicks(f.SpeedTrack, "9");
        QTest::mouseClick(f.SampleImage, Qt::LeftButton);
        QCOMPARE(f.SpeedTrack->text(), QString("128"));
    }

    void compileErrorThenF9DrawsTheWaveform() {
        TKellixForm& f = Open();
        f.SamCode->setFocus();
        f.SamCode->selectAll();
        QTest::keyClicks(f.SamCode, "Result:=CreateSampel( 100 , 1 );");
        QTest::keyClick(&f, Qt::Key_F9);
        QVERIFY(f.StatusPanel->text().startsWith("Error: Undeclared indentifier CreateSampel"));
        QCOMPARE(f.Model().ErrorPosition(), 8);

        f.SamCode->selectAll();
        for (const char* line :
             {"Result:=CreateSample( 44100 , 1 );", "GSample( Result, FG_SIN, 440, 30000 );"}) {
            QTest::keyClicks(f.SamCode, line);
            QTest::keyClick(f.SamCode, Qt::Key_Return);
        }
        QTest::keyClick(&f, Qt::Key_F9);
        QCOMPARE(f.StatusPanel->text(), QString("Ok"));
        QCOMPARE(std::string(InstrumentCode.Texts[0]), f.SamCode->Code());
        // A loud sine fills every column of the picture with a tall black range (column 0 holds
        // the first frame only).
        const QImage shown = f.SampleImage->grab().toImage();
        for (int x : {1, shown.width() - 1}) {
            QVERIFY(BlackRows(shown, x) > 40);
        }
    }

    void editMenuFollowsTheFocus() {
        TKellixForm& f = Open();
        f.SamCode->setFocus();
        f.SamCode->selectAll();
        QTest::keyClicks(f.SamCode, "abc");
        f.SamCode->selectAll();
        QTest::keyClick(f.SamCode, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), QString("abc"));

        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(64 + 16 * 3 + 5, 20));
        QTest::keyClick(&f, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(f.SamCode->Code(), std::string()); // Paste acts on the code only
        QTest::keyClick(&f, Qt::Key_X, Qt::ControlModifier);
        QCOMPARE(Song.Patterns[0].PointsCount, 0);
    }

    void undoAndRedoFollowTheFocus() {
        TKellixForm& f = Open();
        QMenu* edit = f.menuBar()->actions()[1]->menu();
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(64 + 16 * 3 + 5, 20));
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(Song.Patterns[0].PointsCount, 0);
        emit edit->aboutToShow();
        QVERIFY(!edit->actions()[3]->isEnabled());
        emit edit->aboutToHide();
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QTest::keyClick(&f, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(&f, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(Song.Patterns[0].PointsCount, 1);

        // With the code focused they go back and forth in the code box's typing, whether the
        // box takes the keys itself or the menu gets them.
        f.SamCode->setFocus();
        f.SamCode->moveCursor(QTextCursor::End);
        QTest::keyClicks(f.SamCode, "//");
        const std::string typed = std::string(DefaultInstrumentCode) + "//";
        for (QWidget* to : {static_cast<QWidget*>(f.SamCode), static_cast<QWidget*>(&f)}) {
            QTest::keyClick(to, Qt::Key_Z, Qt::ControlModifier);
            QCOMPARE(f.Model().Code(), std::string(DefaultInstrumentCode));
            QTest::keyClick(to, Qt::Key_Y, Qt::ControlModifier);
            QCOMPARE(f.Model().Code(), typed);
        }
        QCOMPARE(Song.Patterns[0].PointsCount, 1);
    }

    // A song file dropped onto the window opens as Open opens it, after the question.
    void aDroppedSongOpens() {
        TKellixForm& f = Open();
        TempFolder dir;
        const std::string path = dir / "dropped.txt";
        WriteFile(path, " Const\r\n  Track:TTrack=(\r\n   TrackIndexCount: 0;\r\n"
                        "   TrackCount: 0;\r\n   PatternCount: 0;\r\n   InstrumentCount: 0;\r\n"
                        "   Speed: 100;\r\n   Row: 8;\r\n  );\r\n");
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
        QDragEnterEvent enter(QPoint(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&f, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(300, 300), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(&f, &drop);
        QCOMPARE(Song.Speed, 100);
    }

    void closingAsksAboutUnsavedChanges() {
        TKellixForm& f = Open();
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(100, 30));
        ask_.SaveChangesAnswers = {SaveAnswer::Cancel};
        QVERIFY(!f.close());
        QCOMPARE(ask_.SaveChangesAsked, 1);
    }

    void fatalErrorShowsTheErrorBox() {
        QString caption;
        QTimer::singleShot(50, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            caption = box->windowTitle() + "|" + box->text();
            box->accept();
        });
        ShowFatalErrorBox("Failed to create IDirectSoundBuffer object");
        QCOMPARE(caption, QString("Error!|Failed to create IDirectSoundBuffer object"));
    }

    // The program's order on the real sound device (SDL's dummy driver): the output first, the
    // window starts the worker and playing; the worker stops before the output goes.
    void startsAndStopsOnTheSoundDevice() {
        TearDownOutput();
        qputenv("SDL_AUDIODRIVER", "dummy");
        SetUpSdlOutput();
        const int64_t before = PlayedBytes();
        {
            TKellixForm& f = Open();
            f.Model().Play();
            QTRY_VERIFY_WITH_TIMEOUT(PlayedBytes() > before + kRingBytes / 2, 5000);
            form_.reset();
        }
        TearDownOutput();
        SetUpOutput(&device_);
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
