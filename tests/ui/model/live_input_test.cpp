// Playing live on the model: MIDI and keys sound at the keyboard's tones, Record places them one
// take per undo step, new instruments sound at once, the settings file is read leniently.
#include "model_fixture.h"

#include "ui/model/settings.h"

#include <chrono>
#include <thread>
#include <tuple>

using namespace kellix;
using namespace kellix::test;

namespace {

class LiveInputTest : public ModelTest {
  protected:
    // The device plays on until the heard step reaches at least the given one.
    void PlayUntilStep(double step) {
        std::vector<uint8_t> chunk(256);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (!(Model.PlayPositionNow().Playing && Model.PlayPositionNow().HeardStep >= step)) {
            if (Device.Pull(chunk.data(), 256) == 0) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker stalled";
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }
};

TEST_F(LiveInputTest, MidiNotesPlayTheTonesTheKeyboardNamesWithTheirVelocity) {
    Model.SetCodeText(kCode100); // instrument 1 sounds
    Model.RunCode();
    // Steps and peaks: tone 0 plays at 11025 frames a second, each octave doubles; the peak is
    // Vol x 127 with Vol = 256 x velocity / 127, rounded. Step 0: no sound.
    const std::tuple<MidiMessage, int32_t, int32_t> cases[] = {
        {{0x90, 60, 127}, 44100, 256 * 127}, // C4 is tone 24
        {{0x95, 36, 64}, 11025, 129 * 127},  // any channel; C2 is tone 0
        {{0x90, 72, 1}, 88200, 2 * 127},     // C5
        {{0x90, 48, 200}, 22050, 256 * 127}, // a velocity past 127 counts as 127
        {{0x90, 23, 100}, 0, 0},             // below C1: not on the keyboard
        {{0x90, 120, 100}, 0, 0},            // above B8
        {{0x80, 60, 64}, 0, 0},              // note-off
        {{0x90, 60, 0}, 0, 0},               // note-on at velocity 0 is a note-off
        {{0xB0, 60, 100}, 0, 0},             // a controller
    };
    for (const auto& [message, step, peak] : cases) {
        const std::size_t before = Live.Voices().size();
        Model.MidiIn(message);
        const std::vector<Voice> voices = Live.Voices();
        ASSERT_EQ(voices.size(), before + (step ? 1 : 0)) << int{message.Data1};
        EXPECT_TRUE(!step || (voices.back().Step == step && voices.back().Peak == peak))
            << int{message.Data1};
    }
    EXPECT_TRUE(NotesOf().empty()) << "nothing is recorded while Record is off";
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
    const auto at = [](int32_t time, int32_t tone) { return TIdPoint{time, tone, 0, 256, 128}; };
    const std::vector<TIdPoint> take1 = {at(0, 0), at(1, 2), at(2, 4), at(3, 5), at(0, 7)};
    EXPECT_EQ(NotesOf(), take1);
    EXPECT_EQ(Model.StepCursor(), 2);

    // Stop ends the take; Record switched off and on again starts at step 0.
    Model.Stop();
    Model.PlayKey(9);
    Model.SetRecording(false);
    Model.SetRecording(true);
    Model.PlayKey(11, 64);
    EXPECT_EQ(NotesOf().back(), (TIdPoint{0, 11, 0, 129, 128}));
    Model.Undo();
    Model.Undo();
    EXPECT_EQ(NotesOf(), take1);
    Model.Undo();
    EXPECT_TRUE(NotesOf().empty());
    EXPECT_EQ(Song.Row, 4);
    Model.Redo();
    EXPECT_EQ(NotesOf(), take1);
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
    ASSERT_EQ(NotesOf().size(), 3u);
    EXPECT_EQ(NotesOf()[1], (TIdPoint{3, 10, 0, 256, 128}));
    EXPECT_EQ(NotesOf()[2], (TIdPoint{2, 12, 0, 256, 128}));
    EXPECT_EQ(Model.StepCursor(), 0) << "the step cursor waits for step entry";
}

TEST_F(LiveInputTest, NewInstrumentsSoundButInstrumentsReadKeepTheirEnvelope) {
    const TEnvelope held{0, 268435455, 0};
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
    Model.SetCodeText(kCode100); // instrument 1 sounds
    Model.RunCode();
    Model.PlaceNote(-1, 24);
    EXPECT_EQ(Live.Voices().back().Env, held);
}

// Bad lines are skipped and a bad value is as none; what is saved reads back.
TEST(Settings, AreReadLeniently) {
    TempFolder dir;
    const std::pair<const char*, std::optional<int32_t>> cases[] = {
        {"audio_frames=63\r\nmidi_port=A\r\n", std::nullopt},
        {"audio_frames=16385\nwhat=1\nnothing\nmidi_port=A", std::nullopt},
        {"audio_frames=2x\naudio_frames=$400\nmidi_port=A", 1024},
    };
    for (const auto& [text, frames] : cases) {
        WriteFile(dir / "s.txt", text);
        EXPECT_EQ(LoadSettings(dir / "s.txt").AudioFrames, frames) << text;
        EXPECT_EQ(LoadSettings(dir / "s.txt").MidiPort, "A") << text;
    }
    const std::string path = dir / "config/kellix/settings.txt";
    ASSERT_TRUE(SaveSettings(path, {512, "A:B 1:0"}));
    EXPECT_EQ(LoadSettings(path).AudioFrames, 512);
    std::string error;
    EXPECT_FALSE(SaveSettings("/proc/kellix/settings.txt", {}, &error));
    EXPECT_NE(error.find("/proc/kellix/settings.txt"), std::string::npos) << error;
}

} // namespace
