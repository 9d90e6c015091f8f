// The live output on a fake device that the test thread drives itself, against a reference
// mixer: the quarters the notifications fill, the worker, "Stop", the release of sample blocks
// that voices may still play, an export while playing, and the fatal set-up failures.
#include "test_blocks.h"
#include "test_files.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/mixer.h"
#include "audio/wav_export.h"
#include "sdl_output.h"
#include "song/sequencer.h"
#include "song/track.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <thread>
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

// Voices of both formats, pans, envelopes and pitches, so that any misplaced or repeated quarter
// changes the stream. The blocks are made on the first call.
void AddTestVoices(SoundBuffer* mixer, std::vector<SampleBlock*>& blocks) {
    if (blocks.empty()) {
        blocks.push_back(NewSample(kSampleMono, 30000, [](int32_t f, int32_t) {
            return static_cast<int16_t>(20000 * std::sin(f * 0.031));
        }));
        blocks.push_back(NewSample(kSampleStereo, 50000, [](int32_t f, int32_t c) {
            return static_cast<int16_t>((f * (c ? 7 : 13)) % 30000 - 15000);
        }));
    }
    TEnvelope env{441, 20000, 8000};
    AddVoice(mixer, 0, 44100, 32512, 128, nullptr, blocks[0]);
    AddVoice(mixer, 5000, 33075, 20000, 40, &env, blocks[1]);
    AddVoice(mixer, 30000, 58800, 32000, 200, &env, blocks[0]);
    AddVoice(mixer, 70000, 44100, 25000, 255, nullptr, blocks[1]);
}

// What a mixer with the same voices produces, one quarter after another from clock 0, after the
// quarter of silence the live ring plays before its first fill.
struct Reference {
    SoundBuffer* Mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<uint8_t> Ring = std::vector<uint8_t>(kRingBytes);
    std::vector<uint8_t> Stream = std::vector<uint8_t>(kQuarterBytes, 0);

    ~Reference() { FreeSoundBuffer(Mixer); }
    // The first bytes of the stream, mixing as many quarters as that takes.
    std::vector<uint8_t> Upto(std::size_t bytes) {
        while (Stream.size() < bytes) {
            int32_t at = Mixer->WritePos;
            MixBlock(Mixer, Ring.data(), kQuarterFrames);
            Stream.insert(Stream.end(), Ring.begin() + at, Ring.begin() + at + kQuarterBytes);
        }
        return {Stream.begin(), Stream.begin() + static_cast<std::ptrdiff_t>(bytes)};
    }
};

// The live output set up on a fake device, with stereo delay settings that give an audible echo
// inside a short test. Without the worker the test serves the notifications itself.
class LiveOutputTest : public ::testing::Test {
  protected:
    FakeDevice Device;
    int64_t Pos = 0; // stream bytes pulled so far
    std::vector<uint8_t> Stream;
    Reference Ref;
    std::vector<SampleBlock*> Blocks; // freed once the output is torn down

    void SetUp() override {
        g_released = 0;
        SetSampleRelease(FreeReleased);
        SetUpOutput(&Device);
        SetStereoDelay(16384, 12000, 3000, 5000);
        PlayOutput();
    }
    void TearDown() override {
        TearDownOutput();
        SetSampleRelease(nullptr);
        SetStartupEffects();
        for (SampleBlock* b : Blocks) {
            std::free(b);
        }
    }

    // Plays len bytes with no worker running: every notification the play position crosses is
    // served at once by a fill on this thread.
    void PullServed(int32_t len, int32_t chunk) {
        std::vector<uint8_t> buf(static_cast<std::size_t>(chunk));
        for (int32_t done = 0; done < len;) {
            int32_t got = PullOutput(buf.data(), std::min(chunk, len - done));
            ASSERT_GT(got, 0) << "the device waits for a quarter nobody was asked to mix";
            Stream.insert(Stream.end(), buf.begin(), buf.begin() + got);
            for (int64_t p = Pos; p < Pos + got; ++p) {
                for (const Notification& e : kNotifications) {
                    if (e.Position == p % kRingBytes) {
                        FillQuarter();
                    }
                }
            }
            Pos += got;
            done += got;
        }
    }

    // Plays len bytes while the worker serves the notifications; waits when the device is
    // ahead of it.
    void PullWithWorker(int32_t len, int32_t chunk) {
        std::vector<uint8_t> buf(static_cast<std::size_t>(chunk));
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        for (int32_t done = 0; done < len;) {
            int32_t got = PullOutput(buf.data(), std::min(chunk, len - done));
            Stream.insert(Stream.end(), buf.begin(), buf.begin() + got);
            Pos += got;
            done += got;
            if (got == 0) {
                ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the worker stalled";
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

    bool Sounds(int32_t from, int32_t bytes) const {
        return std::any_of(Stream.begin() + from, Stream.begin() + from + bytes,
                           [](uint8_t b) { return b != 0; });
    }
};

TEST_F(LiveOutputTest, DevicePlaysExactlyWhatWasMixedWhateverItsChunks) {
    AddTestVoices(LiveMixer(), Blocks);
    AddTestVoices(Ref.Mixer, Blocks);
    // Chunk sizes that straddle the notification positions and the quarter boundaries.
    for (int32_t chunk : {4096, 1, 7777, 44100, 10000}) {
        PullServed(3 * 44100 + 1234, chunk);
    }
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
}

TEST_F(LiveOutputTest, WorkerServesTheDeviceAndStopsOnRequest) {
    {
        std::lock_guard lock(MixLock);
        AddTestVoices(LiveMixer(), Blocks);
    }
    AddTestVoices(Ref.Mixer, Blocks);
    StartWorker();
    PullWithWorker(8 * kQuarterBytes, 4096);
    StopWorker();
    EXPECT_TRUE(Idle.load());
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
}

TEST_F(LiveOutputTest, DroppedInstrumentKeepsSoundingUntilItsVoiceEnds) {
    TTrack song{};
    TInstrumentCode code{};
    NewSong(song, code);
    // Instrument 1 plays a voice of 20000 frames; instrument 0 plays nothing.
    song.Instrument[0].Sample = Square(500);
    song.Instrument[1].Sample = Square(20000);
    song.Instrument[1].Env = {0, 100000, 0};
    {
        std::lock_guard lock(MixLock);
        PreviewNote(LiveMixer(), song, 1, 24, 256, 128);
    }
    // "New" drops every instrument while the voice sounds.
    EmptySong(song, code);
    EXPECT_EQ(g_released.load(), 1) << "only the block that no voice plays is released";
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The first fill mixes frames 0..11024 from the held-back block; the second reaches frame
    // 22050: the voice's data has run out and it is removed.
    PullServed(kQuarterBytes, 4096);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    EXPECT_EQ(g_released.load(), 2);
    // The second quarter still plays the voice.
    PullServed(2 * kQuarterBytes, 4096);
    EXPECT_TRUE(Sounds(2 * kQuarterBytes, kQuarterBytes));
}

// After "Stop" the delay's memory keeps sounding: the stream goes on exactly as a mixer whose
// voices were cleared at the same clock.
TEST_F(LiveOutputTest, DelayTailContinuesAfterStop) {
    Blocks.push_back(NewSample(kSampleMono, 400, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f < 200 ? 30000 : -30000);
    }));
    for (SoundBuffer* m : {LiveMixer(), Ref.Mixer}) {
        AddVoice(m, 2000, 44100, 32512, 128, nullptr, Blocks[0]);
        AddVoice(m, 20000, 30000, 32512, 60, nullptr, Blocks[0]);
    }
    // Two quarters mixed beyond what has played when "Stop" comes.
    PullServed(kQuarterBytes + 100, 4096);
    StopLivePlayback();
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    Ref.Upto(3 * kQuarterBytes);
    ClearVoices(Ref.Mixer);
    PullServed(12 * kQuarterBytes, 3000);
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
    // The quarters mixed after "Stop" hold the echoes of the cleared voices.
    EXPECT_TRUE(Sounds(3 * kQuarterBytes, kQuarterBytes));
}

TEST_F(LiveOutputTest, ExportWhilePlayingLeavesLiveVoicesAndClockAsTheyWere) {
    TTrack song{};
    TInstrumentCode code{};
    NewSong(song, code);
    song.Speed = 16;
    song.Row = 8;
    song.Instrument[0].Sample = NewSample(kSampleStereo, 100000, [](int32_t f, int32_t c) {
        return static_cast<int16_t>(((f * (c ? 5 : 3)) % 400) * 60 - 12000);
    });
    song.Instrument[0].Env = {100, 3000, 2000};
    ResizePoints(song, 0, 2);
    song.Patterns[0].Points[0] = {0, 24, 0, 256, 128};
    song.Patterns[0].Points[1] = {3, 19, 0, 200, 30};
    ResizePatternIndex(song, 0, 1);
    song.Tracks[0].PatternIndex[0] = 0;
    {
        std::lock_guard lock(MixLock);
        PlaySong(LiveMixer(), song, 0);
    }
    PlaySong(Ref.Mixer, song, 0);
    PullServed(2 * kQuarterBytes + 500, 4096);

    // The exclusion is held by the exporting thread while the device stops.
    std::atomic<bool> lockFree{true};
    Device.OnStop = [&] {
        std::thread([&] { lockFree = MixLock.try_lock() && (MixLock.unlock(), true); }).join();
    };
    const TempFolder dir;
    std::string error;
    ASSERT_TRUE(ExportWavLive(song, dir / "live.wav", &error)) << error;
    EXPECT_FALSE(lockFree.load());
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    // The file is what an export without live playback writes.
    ASSERT_TRUE(ExportWav(song, dir / "alone.wav", &error)) << error;
    EXPECT_EQ(ReadFile(dir / "live.wav"), ReadFile(dir / "alone.wav"));
    // Live playback resumes as if the export had not happened.
    PullServed(6 * kQuarterBytes, 5000);
    EXPECT_EQ(Stream, Ref.Upto(Stream.size()));
    // The live voices still play the instrument's block: its release waits for the tear-down.
    EmptySong(song, code);
}

TEST(SetUpFailureDeathTest, EndsTheProgramWithThePartsMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    FakeDevice device;
    device.OpenResult = false;
    EXPECT_EXIT(SetUpOutput(&device), ::testing::ExitedWithCode(1),
                "Error!: Failed to create IDirectSound object");
    device.OpenResult = true;
    device.StreamResult = false;
    EXPECT_EXIT(SetUpOutput(&device), ::testing::ExitedWithCode(1),
                "Error!: Failed to create IDirectSoundBuffer object");
    EXPECT_EXIT((::setenv("SDL_AUDIODRIVER", "no-such-driver", 1), SetUpSdlOutput()),
                ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSound object");
}

} // namespace
} // namespace kellix::test
