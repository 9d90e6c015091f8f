// Playing live on the editor model: MIDI messages and keys sound the current instrument at the
// keyboard's tones, Record puts them into the shown pattern (step entry, or the step heard while
// a pattern plays) one take per undo step, new instruments sound without the Env window, and
// the settings file keeps what it is given.
#include "model_fixture.h"

#include "ui/model/settings.h"

#include <chrono>
#include <thread>

using namespace kellix;
using namespace kellix::test;

namespace {

class LiveInputTest : public ModelTest {
  protected:
    // Instrument 1 gets a sample, so that its keys sound.
    void GiveSample() {
        Model.SetCodeText(kCode100);
        Model.RunCode();
    }
    std::vector<TIdPoint> Notes() const {
        const SharedArray<TIdPoint>& p = Song.Patterns[0].Points;
        return {p.begin(), p.end()};
    }
    // The device plays on until the heard step reaches at least the given one.
    void PlayUntilStep(double step) {
        std::vector<uint8_t> chunk(256);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(Model.PlayPositionNow().Playing && Model.PlayPositionNow().HeardStep >= step)) {
            if (Device.Pull(chunk.data(), static_cast<int32_t>(chunk.size())) == 0) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker stalled";
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
};

TEST_F(LiveInputTest, MidiNotesPlayTheTonesTheKeyboardNamesWithTheirVelocity) {
    GiveSample();
    // Steps and peaks: tone 0 plays at 11025 frames a second, each octave doubles; the peak is
    // Vol x 127 with Vol = 256 x velocity / 127, rounded.
    struct Case {
        MidiMessage Message;
        bool Sounds;
        int32_t Step;
        int32_t Peak;
    } const cases[] = {
        {{0x90, 60, 127}, true, 44100, 256 * 127}, // C4 is tone 24
        {{0x95, 36, 64}, true, 11025, 129 * 127},  // any channel; C2 is tone 0
        {{0x90, 72, 1}, true, 88200, 2 * 127},     // C5
        {{0x90, 48, 200}, true, 22050, 256 * 127}, // a velocity past 127 counts as 127
        {{0x90, 23, 100}, false, 0, 0},            // below C1: not on the keyboard
        {{0x90, 120, 100}, false, 0, 0},           // above B8
        {{0x80, 60, 64}, false, 0, 0},             // note-off
        {{0x90, 60, 0}, false, 0, 0},              // note-on at velocity 0 is a note-off
        {{0xB0, 60, 100}, false, 0, 0},            // a controller
    };
    for (const Case& c : cases) {
        const std::size_t before = Live.Voices().size();
        Model.MidiIn(c.Message);
        const std::vector<Voice> voices = Live.Voices();
        ASSERT_EQ(voices.size(), before + (c.Sounds ? 1 : 0)) << int{c.Message.Data1};
        if (c.Sounds) {
            EXPECT_EQ(voices.back().Step, c.Step) << int{c.Message.Data1};
            EXPECT_EQ(voices.back().Peak, c.Peak) << int{c.Message.Data1};
        }
    }
    EXPECT_TRUE(Notes().empty()) << "nothing is recorded while Record is off";
    // Note-off only puts the light out.
    EXPECT_EQ(Model.HeldKeys(), (std::vector<int32_t>{0, 36, 12}));
    Model.MidiIn({0x80, 72, 0});
    EXPECT_EQ(Model.HeldKeys(), (std::vector<int32_t>{0, 12}));
}

TEST_F(LiveInputTest, StepEntryWrapsIntoTheRowsAndATakeIsOneUndoStep) {
    Model.CommitCount(CountEdit::PatternRow, "4");
    Model.SetRecording(true);
    for (int32_t tone : {0, 2, 4, 5, 7, 2}) {
        Model.PlayKey(tone);
    }
    // The sixth key finds its note in the cell of step 1: the cursor still moves on.
    const std::vector<TIdPoint> take1 = {{0, 0, 0, 256, 128},
                                         {1, 2, 0, 256, 128},
                                         {2, 4, 0, 256, 128},
                                         {3, 5, 0, 256, 128},
                                         {0, 7, 0, 256, 128}};
    EXPECT_EQ(Notes(), take1);
    EXPECT_EQ(Model.StepCursor(), 2);
    EXPECT_EQ(Model.LiveInputText(), "Octave 4, Record, step 2");

    // Stop ends the take; Record switched off and on again starts at step 0.
    Model.Stop();
    Model.PlayKey(9);
    Model.SetRecording(false);
    Model.SetRecording(true);
    Model.PlayKey(11, 64);
    EXPECT_EQ(Notes().back(), (TIdPoint{0, 11, 0, 129, 128}));
    Model.Undo();
    Model.Undo();
    EXPECT_EQ(Notes(), take1);
    Model.Undo();
    EXPECT_TRUE(Notes().empty());
    EXPECT_EQ(Song.Row, 4);
    Model.Redo();
    EXPECT_EQ(Notes(), take1);
}

TEST_F(LiveInputTest, WhileAPatternPlaysNotesGoInAtTheStepHeard) {
    // A note at step 20 makes the pattern 21 steps long with Row 16: the heard step 18 wraps to 2.
    Model.PlaceNote(20, 40);
    Model.SetRecording(true);
    Model.PlayPattern();
    PlayUntilStep(2.6);
    Model.PlayKey(10);
    PlayUntilStep(17.6);
    Model.PlayKey(12);
    const std::vector<TIdPoint> notes = Notes();
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[1].Time, 3);
    EXPECT_EQ(notes[2].Time, 2);
    EXPECT_EQ(Model.StepCursor(), 0) << "the step cursor waits for step entry";
}

TEST_F(LiveInputTest, NewInstrumentsSoundButInstrumentsReadKeepTheirEnvelope) {
    const TEnvelope held{0, 268435455, 0};
    for (const TInstrument& i : Song.Instrument) {
        EXPECT_EQ(i.Env, held);
    }
    Model.SetEnvelope(0, 500);
    Model.CommitCount(CountEdit::InstrumentCount, "12");
    EXPECT_EQ(Song.Instrument[0].Env, (TEnvelope{500, 268435455, 0}));
    EXPECT_EQ(Song.Instrument[11].Env, held);

    MakeSong({kCode100, kCode100});
    Built.Instrument.EditAt(0).Env = {1, 2, 3};
    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    ASSERT_TRUE(Model.OpenPath(WriteSong("song.txt")));
    EXPECT_EQ(Song.Instrument[0].Env, (TEnvelope{1, 2, 3}));
    EXPECT_EQ(Song.Instrument[1].Env, (TEnvelope{0, 0, 0}));

    ASSERT_TRUE(Model.New());
    GiveSample();
    Model.PlaceNote(-1, 24);
    EXPECT_EQ(Live.Voices().back().Env, held);
}

TEST(Settings, AreReadLeniently) {
    TempFolder dir;
    const std::string path = dir / "config/kellix/settings.txt";
    EXPECT_FALSE(LoadSettings(path).AudioFrames) << "no file";
    const struct {
        const char* Text;
        std::optional<int32_t> Frames;
        const char* Port;
    } cases[] = {
        {"audio_frames=256\nmidi_port=Keys:Keys MIDI 1 20:0\n", 256, "Keys:Keys MIDI 1 20:0"},
        {"audio_frames=63\r\nmidi_port=\r\n", std::nullopt, ""},
        {"audio_frames=16385\nwhat=1\nnothing\n", std::nullopt, ""},
        {"audio_frames=2x\naudio_frames=$400", 1024, ""},
    };
    for (const auto& c : cases) {
        WriteFile(dir / "s.txt", c.Text);
        const Settings s = LoadSettings(dir / "s.txt");
        EXPECT_EQ(s.AudioFrames, c.Frames) << c.Text;
        EXPECT_EQ(s.MidiPort, c.Port) << c.Text;
    }
    ASSERT_TRUE(SaveSettings(path, {512, "A:B 1:0"}));
    const Settings back = LoadSettings(path);
    EXPECT_EQ(back.AudioFrames, 512);
    EXPECT_EQ(back.MidiPort, "A:B 1:0");
    std::string error;
    EXPECT_FALSE(SaveSettings("/proc/kellix/settings.txt", {}, &error));
    EXPECT_NE(error.find("/proc/kellix/settings.txt"), std::string::npos) << error;
}

} // namespace
