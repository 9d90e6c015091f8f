// The pattern editor, the track editor, the play list and the tool windows inside the main
// window, driven by clicks and keys, checked on the pictures the editors show, on the song and
// on the live mixer (the SDL dummy sound device).
#include "pixels.h"
#include "ui/env_form.h"
#include "ui/image_view.h"
#include "ui/main_window.h"
#include "ui/reverb_form.h"
#include "ui/stereo_form.h"
#include "ui_fixture.h"

#include "audio/device/sdl_output.h"
#include "audio/effects.h"
#include "audio/live_output.h"
#include "script/dllgen.h"
#include "songtext/current_instrument.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListView>
#include <QScrollBar>
#include <QtTest>

#include <mutex>

using namespace kellix;
using namespace kellix::test;

namespace {

// Sixty seconds: even at the top tone its voices outlast every check, while the SDL dummy
// device plays on and the worker mixes.
constexpr const char* kLong = " Result:=CreateSample( 2646000 , 1 );";

void TypeOver(QLineEdit* box, const QString& text) {
    box->selectAll();
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
    } else {
        QTest::keyClicks(box, text);
    }
}

void ClickRow(QListView* list, int row) {
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

struct LastVoice {
    int count = 0;
    int32_t step = 0;
    int32_t peak = 0;
    int32_t pan = 0;
    TEnvelope env{};
    int64_t position = 0;
};

LastVoice ReadLastVoice() {
    std::lock_guard lock(MixLock);
    LastVoice v;
    v.count = VoiceCount(LiveMixer());
    if (const Voice* last = LiveMixer()->Last) {
        v = {v.count, last->Step, last->Peak, last->Pan, last->Env, last->Position};
    }
    return v;
}

} // namespace

class EditorsTest : public QObject {
    Q_OBJECT

    PreparedDialogs ask_;
    TreverbformForm* reverb_ = nullptr;
    TFromenvForm* env_ = nullptr;
    TformstereoForm* stereo_ = nullptr;
    std::unique_ptr<TKellixForm> form_;

    TKellixForm& Form() { return *form_; }
    // Pattern editor clicks at image pixels, with the scroll bars where the test put them.
    void PatternClick(Qt::MouseButton button, int x, int y) {
        QTest::mouseClick(Form().EditPattern, button, {}, QPoint(x, y));
    }
    int Notes() const { return Song.Patterns[0].PointsCount; }

  private slots:
    void initTestCase() {
        StartScripting();
        qputenv("SDL_AUDIODRIVER", "dummy");
        SetUpSdlOutput();
    }
    void init() {
        reverb_ = new TreverbformForm;
        env_ = new TFromenvForm;
        stereo_ = new TformstereoForm;
        form_ = std::make_unique<TKellixForm>(ToolWindows{reverb_, env_, stereo_}, &ask_);
        form_->show();
        form_->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form_.get()));
        // Instrument 2 gets a sample, so that its notes sound.
        ClickRow(Form().Instruments, 1);
        Form().Model().SetCodeText(kLong);
        Form().Model().GeneratorExe();
        QVERIFY(Song.Instrument[1].Sample);
    }
    void cleanup() {
        form_.reset();
        delete reverb_;
        delete env_;
        delete stereo_;
    }
    void cleanupTestCase() {
        TearDownOutput();
        EmptySong(Song, InstrumentCode);
        EndScripting();
    }

    void clicksMapToCellsAndPlaceNotes() {
        TKellixForm& f = Form();
        f.ScrollHPattern->setValue(0);
        f.ScrollVPattern->setValue(0);
        const int voices = ReadLastVoice().count;
        PatternClick(Qt::LeftButton, 63, 0); // the keyboard: auditions tone 83, places nothing
        QCOMPARE(Notes(), 0);
        LastVoice v = ReadLastVoice();
        QCOMPARE(v.count, voices + 1);
        QCOMPARE(v.step, PitchToStep(83.0f));
        QCOMPARE(v.peak, 256 * 127);

        TypeOver(f.Volume, "200x");
        TypeOver(f.Panning, "40");
        PatternClick(Qt::LeftButton, 64, 0);
        QCOMPARE(Notes(), 1);
        const TIdPoint p = Song.Patterns[0].Points[0];
        QCOMPARE(p.Time, 0);
        QCOMPARE(p.Tone, 83);
        QCOMPARE(p.Instrument, 1);
        QCOMPARE(p.Vol, 200);
        QCOMPARE(p.Pan, 40);
        v = ReadLastVoice();
        QCOMPARE(v.count, voices + 2);
        QCOMPARE(v.peak, 200 * 127);
        QCOMPARE(v.pan, 40);
        // The image shown has the frame just inside the cell.
        QCOMPARE(RgbAt(f.EditPattern->Image(), 65, 1), GreyRgb(0xAA));
        QCOMPARE(RgbAt(f.EditPattern->Image(), 72, 8), GreyRgb(0x00));

        PatternClick(Qt::LeftButton, 70, 10); // the same cell again: nothing, not even a sound
        QCOMPARE(Notes(), 1);
        QCOMPARE(ReadLastVoice().count, voices + 2);

        // At the designed position the top row is tone 37.
        f.ScrollVPattern->setValue(750);
        PatternClick(Qt::LeftButton, 64 + 16 * 2, 0);
        QCOMPARE(Song.Patterns[0].Points[1].Tone, 37);
        QCOMPARE(Song.Patterns[0].Points[1].Time, 2);
        // Its cell spans image rows -14..1: the frame's last row is row 1.
        QCOMPARE(RgbAt(f.EditPattern->Image(), 64 + 16 * 2 + 2, 1), GreyRgb(0xAA));
    }

    void notesBelongToTheirInstrument() {
        TKellixForm& f = Form();
        f.ScrollHPattern->setValue(0);
        f.ScrollVPattern->setValue(0);
        PatternClick(Qt::LeftButton, 100, 40);
        ClickRow(f.Instruments, 2);
        QCOMPARE(RgbAt(f.EditPattern->Image(), 97, 33), GreyRgb(0x00)); // not instrument 3s
        PatternClick(Qt::LeftButton, 100, 40);
        QCOMPARE(Notes(), 2);
        PatternClick(Qt::RightButton, 100, 40);
        QCOMPARE(Notes(), 1);
        QCOMPARE(Song.Patterns[0].Points[0].Instrument, 1);

        // A right-button drag over a row of notes removes them all.
        ClickRow(f.Instruments, 1);
        for (int x = 0; x < 4; ++x) {
            PatternClick(Qt::LeftButton, 64 + 16 * x + 8, 8);
        }
        QCOMPARE(Notes(), 5);
        QTest::mousePress(f.EditPattern, Qt::RightButton, {}, QPoint(64 + 8, 8));
        for (int x = 1; x < 4; ++x) {
            QMouseEvent move(QEvent::MouseMove, QPointF(64 + 16 * x + 8, 8), QPointF(),
                             Qt::NoButton, Qt::RightButton, Qt::NoModifier);
            QApplication::sendEvent(f.EditPattern, &move);
        }
        QTest::mouseRelease(f.EditPattern, Qt::RightButton, {}, QPoint(64 + 56, 8));
        QCOMPARE(Notes(), 1);
    }

    void trackEditorTogglesPatternsOfTheShownTrack() {
        TKellixForm& f = Form();
        QCOMPARE(f.TrackEdit->width(), 103);
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(100, 5)); // the strip
        QCOMPARE(Song.Tracks[0].PatternCount, 2);
        QCOMPARE(Song.Tracks[0].PatternIndex[0], 7);
        QCOMPARE(Song.Tracks[0].PatternIndex[1], 6);
        QCOMPARE(RgbAt(f.TrackEdit->Image(), 17, 17), GreyRgb(0xAA)); // pattern 7's frame
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(Song.Tracks[0].PatternCount, 1);
        QCOMPARE(Song.Tracks[0].PatternIndex[0], 6);
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 40)); // pattern 13: none
        QCOMPARE(Song.Tracks[0].PatternCount, 1);

        // Scrolled by 16 pixels the same click reaches the next row.
        f.ScrollVTrackEdit->setValue(16);
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(20, 4));
        QCOMPARE(Song.Tracks[0].PatternCount, 2);
        QCOMPARE(Song.Tracks[0].PatternIndex[1], 7);

        // 96 pixels wide: still six labelled cells a row, the same six that clicks select.
        f.PanelTracks->setFixedWidth(113);
        QTRY_COMPARE(f.TrackEdit->width(), 96);
        f.ScrollVTrackEdit->setValue(0);
        const QImage& shown = f.TrackEdit->Image();
        QVERIFY(AnyPixelOtherThan(shown, QRect(81, 2, 14, 13), {GreyRgb(0), GreyRgb(0x77)}));
        QVERIFY(AnyPixelOtherThan(shown, QRect(1, 18, 14, 13), {GreyRgb(0), GreyRgb(0x77)}));
        QTest::mouseClick(f.TrackEdit, Qt::LeftButton, {}, QPoint(85, 4));
        QCOMPARE(Song.Tracks[0].PatternCount, 3);
        QCOMPARE(Song.Tracks[0].PatternIndex[2], 5);
    }

    void playListAndTrackComboWorkTogether() {
        TKellixForm& f = Form();
        ClickRow(f.PlayList, 2);
        QCOMPARE(f.Track->currentText(), QString("3"));
        QCOMPARE(f.Model().ActiveTrackIndex(), 2);
        f.Track->setCurrentIndex(4);
        emit f.Track->activated(4);
        QCOMPARE(Song.TracksIndex[2], 4);
        QCOMPARE(f.PlayList->model()->index(2, 0).data().toString(), QString("5"));
        QCOMPARE(f.Model().ActiveTrackIndex(), 4);

        // A typed text that names no item stores -1, shown as 0; no track is shown.
        f.Track->lineEdit()->selectAll();
        QTest::keyClicks(f.Track->lineEdit(), "x");
        QCOMPARE(Song.TracksIndex[2], -1);
        QCOMPARE(f.PlayList->model()->index(2, 0).data().toString(), QString("0"));
        QCOMPARE(f.Model().ActiveTrack(), nullptr);

        // After lowering the track count, a row naming a track past it selects nothing.
        TypeOver(f.TrackCount, "3");
        QTest::keyClick(f.TrackCount, Qt::Key_Return);
        ClickRow(f.PlayList, 5);
        QCOMPARE(f.Track->currentIndex(), -1);
        QCOMPARE(f.Model().ActiveTrack(), nullptr);

        // Play From plays from the selected row: row 6 names track 1, whose note starts one
        // entry (65536 frames) after the command.
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(64 + 8, 8));
        Song.TracksIndex[6] = 0;
        ResizePatternIndex(Song, 0, 1);
        Song.Tracks[0].PatternIndex[0] = 0;
        f.Model().PlayFrom();
        const int64_t position = ReadLastVoice().position;
        QVERIFY(position <= -4 * (65536 - 11025 * 2));
        QVERIFY(position >= -4 * 65536);
    }

    // While the shown pattern plays a thin line follows the step being heard; a song play marks
    // the row being heard without selecting it. Once nothing plays, the editors look as before.
    void playPositionAppearsAndVanishes() {
        TKellixForm& f = Form();
        f.ScrollHPattern->setValue(0);
        const QImage before = f.EditPattern->grab().toImage().convertToFormat(QImage::Format_RGB32);
        f.Model().PlayPattern();
        QTRY_VERIFY_WITH_TIMEOUT(f.EditPattern->Marker() > 64, 5000);
        const int x = f.EditPattern->Marker();
        const QImage playing = f.EditPattern->grab().toImage();
        QCOMPARE(RgbAt(playing, x, 20), 0x40B0FFu);
        QVERIFY(RgbAt(playing, x + 1, 20) != 0x40B0FFu);

        ClickRow(f.PlayList, 3);
        f.Model().Play();
        const QModelIndex first = f.PlayList->model()->index(0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(first.data(Qt::BackgroundRole).isValid(), 5000);
        QCOMPARE(f.PlayList->currentIndex().row(), 3);

        f.Model().Stop();
        QTRY_VERIFY_WITH_TIMEOUT(!first.data(Qt::BackgroundRole).isValid(), 1000);
        QCOMPARE(f.EditPattern->Marker(), -1);
        QCOMPARE(f.EditPattern->grab().toImage().convertToFormat(QImage::Format_RGB32), before);
    }

    void toolWindowsFollowTheMenuAndTheInstrument() {
        TKellixForm& f = Form();
        f.MCEnv->trigger();
        QVERIFY(env_->isVisible());
        QVERIFY(f.MCEnv->isChecked());
        env_->close();
        QVERIFY(!env_->isVisible());
        QVERIFY(!f.MCEnv->isChecked());
        f.MCEnv->trigger();
        QVERIFY(env_->isVisible());

        Song.Instrument[2].Env = {11, 22, 33};
        ClickRow(f.Instruments, 2);
        QCOMPARE(env_->Edit1->text(), QString("11"));
        QCOMPARE(env_->Edit3->text(), QString("33"));
        ClickRow(f.Instruments, 1);
        TypeOver(env_->Edit1, "500");
        QCOMPARE(Song.Instrument[1].Env.Attack, 500);
        QVERIFY(f.Model().Changed());
        f.ScrollVPattern->setValue(0);
        PatternClick(Qt::LeftButton, 32, 0); // an audition starts a voice with the new envelope
        QCOMPARE(ReadLastVoice().env.Attack, 500);
        // The window hooks the Reverb window's boxes to the effect.
        TypeOver(reverb_->Edit1, "1234");
        QCOMPARE(CurrentReverb().Amplitude, 1234);
        SetStartupEffects();
    }
};

QTEST_MAIN(EditorsTest)
#include "editors_test.moc"
