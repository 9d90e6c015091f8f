// The live output on a fake device that the test thread drives itself, against a reference
// mixer: the quarters the device asks for (live_stream_test races the worker), "Stop", the
// release of sample blocks that voices may still play, and an export while playing.
#include "stream_reference.h"
#include "test_blocks.h"
#include "test_files.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/wav_export.h"
#include "song/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <future>
#include <memory>
#include <vector>

namespace kellix::test {
namespace {

// A release routine that frees the block (so that AddressSanitizer sees any later read) and
// counts the releases.
std::atomic<int> g_released{0};
void FreeReleased(SampleBlock* block) {
    ++g_released;
    std::free(block);
}

SampleBlock* Square(int32_t frames) {
    return NewSample(kSampleMono, frames, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f % 100 < 50 ? 12000 : -12000);
    });
}

// The live output set up on a fake device, with stereo delay settings that give an audible echo
// inside a short test. Without the worker the test serves the notifications itself.
class LiveOutputTest : public ::testing::Test {
  protected:
    FakeDevice Device;
    std::unique_ptr<LiveOutput> Live;
    std::vector<uint8_t> Stream;
    StreamReference Ref;
    std::vector<SampleBlock*> Blocks; // freed once the output is torn down
    VoiceBatch Batch;                 // the voices of the next hand-over

    // A voice for the live output's next hand-over and, at the same frame, for the reference.
    void Add(int64_t start, int32_t step, int32_t peak, int32_t pan, const TEnvelope* env,
             int32_t block) {
        Batch.Add(start, step, peak, pan, env, Blocks[block]);
        AddVoice(Ref.Mixer, start, step, peak, pan, env, Blocks[block]);
    }
    void HandOver() {
        Live->AddVoices(Batch);
        Ref.EndCommand();
    }

    void SetUp() override {
        g_released = 0;
        SetSampleRelease(FreeReleased);
        Live = std::make_unique<LiveOutput>(Device);
        MasterEffects echo = StartupEffects();
        SetStereoDelay(echo, 16384, 12000, 3000, 5000);
        Live->SetEffects(echo);
        Ref.Mixer->Effects = echo;
        Live->PlayOutput();
    }
    void TearDown() override {
        Live.reset();
        SetSampleRelease(nullptr);
        for (SampleBlock* b : Blocks) {
            std::free(b);
        }
    }

    // Plays len bytes with no worker running: every quarter the device asks for is mixed at
    // once on this thread.
    void PullServed(int32_t len, int32_t chunk) {
        std::vector<uint8_t> buf(static_cast<std::size_t>(chunk));
        for (int32_t done = 0; done < len;) {
            const int32_t got = Device.PullServed(buf.data(), std::min(chunk, len - done));
            ASSERT_GT(got, 0) << "the device waits for a quarter nobody was asked to mix";
            Stream.insert(Stream.end(), buf.begin(), buf.begin() + got);
            done += got;
        }
    }

    bool Sounds(int32_t from, int32_t bytes) const {
        return std::any_of(Stream.begin() + from, Stream.begin() + from + bytes,
                           [](uint8_t b) { return b != 0; });
    }
};

// Voices of both formats, pans, envelopes and pitches, so that any misplaced or repeated quarter
// changes the stream.
TEST_F(LiveOutputTest, DevicePlaysExactlyWhatWasMixedWhateverItsChunks) {
    Blocks.push_back(NewSample(kSampleMono, 30000, [](int32_t f, int32_t) {
        return static_cast<int16_t>(20000 * std::sin(f * 0.031));
    }));
    Blocks.push_back(NewSample(kSampleStereo, 50000, [](int32_t f, int32_t c) {
        return static_cast<int16_t>((f * (c ? 7 : 13)) % 30000 - 15000);
    }));
    const TEnvelope env{441, 20000, 8000};
    Add(0, 44100, 32512, 128, nullptr, 0);
    Add(5000, 33075, 20000, 40, &env, 1);
    Add(30000, 58800, 32000, 200, &env, 0);
    Add(70000, 44100, 25000, 255, nullptr, 1);
    HandOver();
    // Chunk sizes that straddle the notification positions and the quarter boundaries.
    for (int32_t chunk : {4096, 1, 7777, 44100, 10000}) {
        PullServed(3 * 44100 + 1234, chunk);
    }
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
}

TEST_F(LiveOutputTest, DroppedInstrumentKeepsSoundingUntilItsVoiceEnds) {
    TTrack song = NewSong();
    auto samples = std::make_unique<SampleSet>();
    samples->Resize(10);
    // Instrument 1 plays a voice of 20000 frames; instrument 0 plays nothing.
    samples->Set(0, Square(500));
    samples->Set(1, Square(20000));
    song.Instrument.EditAt(1).Env = {0, 100000, 0};
    Live->Preview(song, *samples, 1, 24, 256, 128);
    // "New" drops every instrument while the voice sounds.
    samples.reset();
    EXPECT_EQ(g_released.load(), 1) << "only the block that no voice plays is released";
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The first fill mixes frames 0..11024 from the held-back block; the second, asked for once
    // the device is half a quarter from its end, reaches frame 22050: the voice's data has run
    // out and it is removed.
    PullServed(kQuarterBytes + 20480, 4096);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    EXPECT_EQ(g_released.load(), 2);
    // The second quarter still plays the voice.
    PullServed(2 * kQuarterBytes, 4096);
    EXPECT_TRUE(Sounds(2 * kQuarterBytes, kQuarterBytes));
}

// "Stop" silences the voices from a frame the device has not taken yet; the delay's memory
// keeps sounding: the stream goes on exactly as a mixer whose voices were cut at that frame.
TEST_F(LiveOutputTest, DelayTailContinuesAfterStop) {
    Blocks.push_back(NewSample(kSampleMono, 400, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f < 200 ? 30000 : -30000);
    }));
    Add(2000, 44100, 32512, 128, nullptr, 0);
    Add(20000, 30000, 32512, 60, nullptr, 0);
    HandOver();
    // The second voice (from frame 20000, stream byte 124100, for 588 frames) sounds when
    // "Stop" comes, with three quarters mixed.
    PullServed(124100, 4096);
    const int64_t at = Live->Stop();
    EXPECT_EQ(at, 20000 + kStartMarginFrames);
    EXPECT_EQ(Device.Stops.load(), 0) << "the device plays on";
    Ref.StopAt(at);
    PullServed(12 * kQuarterBytes, 3000);
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
    // What follows the stop holds the echoes of the cut voices.
    EXPECT_TRUE(Sounds(static_cast<int32_t>((at + kLeadFrames) * 4), kQuarterBytes));
}

TEST_F(LiveOutputTest, ExportWhilePlayingLeavesLiveVoicesAndClockAsTheyWere) {
    TTrack song = NewSong();
    SampleSet samples;
    samples.Resize(10);
    song.Speed = 16;
    song.Row = 8;
    samples.Set(0, NewSample(kSampleStereo, 100000, [](int32_t f, int32_t c) {
                    return static_cast<int16_t>(((f * (c ? 5 : 3)) % 400) * 60 - 12000);
                }));
    song.Instrument.EditAt(0).Env = {100, 3000, 2000};
    AppendPoint(song.Patterns.EditAt(0), {0, 24, 0, 256, 128});
    AppendPoint(song.Patterns.EditAt(0), {3, 19, 0, 200, 30});
    AppendPatternIndex(song.Tracks.EditAt(0), 0);
    Live->Play(song, samples, PlayRequest{});
    PlaySong(Ref.Mixer, song, samples, 0);
    Ref.EndCommand();
    PullServed(2 * kQuarterBytes + 500, 4096);

    // The live lock is free while the export renders: the window's timers may use the output.
    std::atomic<bool> lockFree{false};
    Device.OnStop = [&] {
        auto look = std::async(std::launch::async, [&] { return Live->Voices().size(); });
        lockFree = look.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    };
    const TempFolder dir;
    std::string error;
    const MasterEffects effects = Live->Effects();
    ASSERT_TRUE(Live->Export(song, samples, effects, dir / "live.wav", &error)) << error;
    Device.OnStop = nullptr;
    EXPECT_TRUE(lockFree.load());
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    // The file is what an export without live playback writes.
    ASSERT_TRUE(ExportWav(song, samples, effects, dir / "alone.wav", &error)) << error;
    EXPECT_EQ(ReadFile(dir / "live.wav"), ReadFile(dir / "alone.wav"));
    // Live playback resumes as if the export had not happened.
    PullServed(6 * kQuarterBytes, 5000);
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
}

// A sound device that cannot start ends the program with the message of the step that failed.
TEST(SetUpFailureDeathTest, EndsTheProgramWithItsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FakeDevice device;
    device.StreamResult = false;
    EXPECT_EXIT(LiveOutput{device}, ::testing::ExitedWithCode(1),
                "Error!: Failed to create IDirectSoundBuffer object");
}

} // namespace
} // namespace kellix::test
