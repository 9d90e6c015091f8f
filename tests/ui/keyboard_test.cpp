// Playing the window live: keys and the mouse light the held key and sound once, F4 records one
// undo step, MIDI fed through the seam from another thread plays and records, the MIDI menu
// lists and remembers ports, and says so when there is no MIDI system.
#include "audio/mixer.h"
#include "ui/draw_pattern.h"
#include "ui/midi_menu.h"
#include "ui/model/settings.h"
#include "window_rig.h"

#include <thread>

using namespace kellix;
using namespace kellix::test;

namespace {

constexpr uint32_t kLit = kLitKeyColour & 0xFFFFFFu;

// A MIDI system with the ports the test gives it; the test sends what a port would.
struct FakeMidi final : MidiInput {
    std::vector<std::string> Names;
    std::string Opened;
    Sink Send;
    explicit FakeMidi(std::vector<std::string> names) : Names(std::move(names)) {}
    bool Exists() override { return true; }
    std::vector<std::string> Ports() override { return Names; }
    bool Open(const std::string& port, Sink sink, std::string*) override {
        Opened = port, Send = std::move(sink);
        return true;
    }
    void Close() override { Opened.clear(), Send = nullptr; }
};

QStringList Captions(QMenu* menu) {
    QStringList captions;
    for (QAction* a : menu->actions()) {
        captions << a->text() + (a->isChecked() ? "*" : "") + (a->isEnabled() ? "" : "-");
    }
    return captions;
}

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

    WindowRig rig_;

    // A window whose instrument 1 sounds, the view showing tones 30 down to about 17: the row of
    // tone 24 spans image rows 96..111.
    TKellixForm& Open() {
        QFile::remove(QString::fromStdString(DefaultSettingsFile()));
        TKellixForm& f = rig_.Show();
        f.Model().SetCodeText(kLong);
        f.Model().RunCode();
        f.ScrollHPattern->setValue(0);
        f.ScrollVPattern->setValue((83 - 30) * 16);
        return f;
    }
    QImage Shown() const {
        return rig_.Form->EditPattern->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    QMenu* MidiMenuShown() {
        auto* menu = rig_.Form->findChild<QMenu*>("MIDIInput");
        emit menu->aboutToShow();
        return menu;
    }

  private slots:
    void cleanup() { rig_.Form.reset(); }

    void keysSoundOnceAndLightWhileHeld() {
        TKellixForm& f = Open();
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(10, 5)); // focus: a far key
        const QImage before = Shown();
        const int voices = rig_.Voices();
        QTest::keyPress(f.EditPattern, Qt::Key_Z);
        QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Z, Qt::NoModifier, "z", true);
        QApplication::sendEvent(f.EditPattern, &repeat);
        QCOMPARE(rig_.Voices(), voices + 1);
        QCOMPARE(rig_.Live->Voices().back().Step, 44100); // C4, tone 24
        QCOMPARE(RgbAt(Shown(), 10, 104), kLit);
        QTest::keyPress(f.EditPattern, Qt::Key_S); // C#4: the black key's part of its row
        QTest::keyPress(f.EditPattern, Qt::Key_V); // F4
        const QImage lit = Shown();
        QVERIFY(RgbAt(lit, 40, 88) == kLit && RgbAt(lit, 10, 20) == kLit);
        QCOMPARE(RgbAt(lit, 10, 29), GreyRgb(0x77)); // the line between E and F stays
        for (Qt::Key key : {Qt::Key_S, Qt::Key_V, Qt::Key_Z}) {
            QTest::keyRelease(f.EditPattern, key);
        }
        QCOMPARE(Shown(), before);

        QTest::keyClick(f.EditPattern, Qt::Key_PageUp);
        QCOMPARE(f.OctavePanel->text(), QString("Octave 5"));
        QTest::keyClick(f.EditPattern, Qt::Key_I); // C of the octave above the upper row's C5
        QCOMPARE(rig_.Live->Voices().back().Step, PitchToStep(60.0f));

        QTest::mousePress(f.EditPattern, Qt::LeftButton, {}, QPoint(10, 104));
        QCOMPARE(RgbAt(Shown(), 10, 104), kLit);
        QTest::mouseRelease(f.EditPattern, Qt::LeftButton, {}, QPoint(10, 104));
        QCOMPARE(Shown(), before);
        QVERIFY(rig_.Notes().empty());
    }

    void f4RecordsTheKeysAsOneUndoStep() {
        TKellixForm& f = Open();
        QTest::mouseClick(f.EditPattern, Qt::LeftButton, {}, QPoint(10, 5));
        QTest::keyClick(&f, Qt::Key_F4);
        QVERIFY(f.MCRecord->isChecked() && f.Model().Recording());
        QCOMPARE(f.OctavePanel->text(), QString("Octave 4, Record, step 0"));
        for (Qt::Key key : {Qt::Key_Z, Qt::Key_X, Qt::Key_C}) {
            QTest::keyClick(f.EditPattern, key);
        }
        QCOMPARE(rig_.Notes(),
                 (std::vector<TIdPoint>{
                     {0, 24, 0, 256, 128}, {1, 26, 0, 256, 128}, {2, 28, 0, 256, 128}}));
        QTest::keyClick(&f, Qt::Key_F4);
        QVERIFY(!f.MCRecord->isChecked());
        QTest::keyClick(f.EditPattern, Qt::Key_Z, Qt::ControlModifier);
        QVERIFY(rig_.Notes().empty());
    }

    void midiPortsAreListedChosenRememberedAndPlayed() {
        TKellixForm& f = Open();
        auto owned = std::make_unique<FakeMidi>(std::vector<std::string>{"Keys A", "Keys B"});
        FakeMidi* midi = owned.get();
        f.Midi().UseInput(std::move(owned));
        QMenu* menu = MidiMenuShown();
        QCOMPARE(Captions(menu), (QStringList{"None*", "Keys A", "Keys B"}));
        menu->actions()[2]->trigger();
        QCOMPARE(midi->Opened, std::string("Keys B"));
        QCOMPARE(LoadSettings(DefaultSettingsFile()).MidiPort, std::string("Keys B"));
        midi->Names.push_back("Keys C");
        QCOMPARE(Captions(MidiMenuShown()), (QStringList{"None", "Keys A", "Keys B*", "Keys C"}));

        // Messages come on another thread; a note-on plays and records, the note-off is ignored.
        f.Model().SetRecording(true);
        const int voices = rig_.Voices();
        std::thread port([midi] {
            midi->Send({0x90, 62, 127});
            midi->Send({0x80, 62, 0});
        });
        port.join();
        QTRY_COMPARE(rig_.Voices(), voices + 1);
        QCOMPARE(rig_.Notes(), (std::vector<TIdPoint>{{0, 26, 0, 256, 128}}));

        // Another start finds the port remembered; None forgets it.
        auto again = std::make_unique<FakeMidi>(std::vector<std::string>{"Keys B"});
        midi = again.get();
        f.Midi().UseInput(std::move(again));
        QCOMPARE(midi->Opened, std::string("Keys B"));
        MidiMenuShown()->actions()[0]->trigger();
        QVERIFY(midi->Opened.empty() && LoadSettings(DefaultSettingsFile()).MidiPort.empty());
    }

    void withoutAMidiSystemTheMenuSaysSo() {
        TKellixForm& f = Open();
        f.Midi().UseInput(MakeRtMidiInput("/nonexistent/kellix/seq"));
        QCOMPARE(Captions(MidiMenuShown()), QStringList{"No MIDI system-"});
        // A remembered port is found again when ALSA has numbered it anew.
        const std::vector<std::string> ports = {"A:A 1 20:0", "A:A 1 24:0"};
        QCOMPARE(FindPort(ports, "A:A 1 24:0"), 1);
        QCOMPARE(FindPort(ports, "A:A 1 28:0"), 0);
        QCOMPARE(FindPort(ports, "B:B 1 20:0"), -1);
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
