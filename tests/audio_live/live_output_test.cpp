// The live output: the four notifications and the quarters they fill, the worker, "Stop", the
// release of sample blocks that voices may still play, an export while playing, the set-up
// failures, and the SDL device on the dummy driver.
#include "live_fixture.h"
#include "test_files.h"

#include "audio/mini_thread.h"
#include "audio/wav_export.h"
#include "sdl_output.h"
#include "song/sequencer.h"
#include "song/track.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace kellix::test {
namespace {

SampleBlock* Square(int32_t frames) {
    return NewSample(kSampleMono, frames, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f % 100 < 50 ? 12000 : -12000);
    });
}

bool AllZero(const uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// Voices of both formats, pans, envelopes and pitches, so that any misplaced or repeated quarter
// changes the stream.
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

void FreeAll(std::vector<SampleBlock*>& blocks) {
    for (SampleBlock* b : blocks) {
        std::free(b);
    }
}

// The mixer's WritePos after the fill that each notification starts: the table's quarter plus
// the 11025 frames just mixed.
TEST_F(LiveOutputTest, EachNotificationFillsItsQuarterInOrder) {
    struct Step {
        int64_t pullTo;        // stream byte the device reaches
        int32_t writePosAfter; // the live mixer's WritePos after the fill
        int64_t totalAfter;
    };
    // Event 0 at position 0 as playback starts, then events 1, 2, 3 at 44099, 88199, 132299,
    // and event 0 again after the wrap.
    const Step steps[] = {
        {4, 88200, 11025},      {44100, 132300, 22050}, {88200, 0, 33075},
        {132300, 44100, 44100}, {176404, 88200, 55125}, {176400 + 44100, 132300, 66150},
    };
    for (const Step& s : steps) {
        PullServed(static_cast<int32_t>(s.pullTo - Pos), 4);
        std::lock_guard lock(MixLock);
        EXPECT_EQ(LiveMixer()->WritePos, s.writePosAfter) << "at stream byte " << s.pullTo;
        EXPECT_EQ(LiveMixer()->Total, s.totalAfter) << "at stream byte " << s.pullTo;
    }
}

TEST_F(LiveOutputTest, DevicePlaysExactlyWhatWasMixedWhateverItsChunks) {
    std::vector<SampleBlock*> blocks;
    AddTestVoices(LiveMixer(), blocks);
    Reference ref;
    AddTestVoices(ref.Mixer, blocks);
    // Chunk sizes that straddle the notification positions and the quarter boundaries.
    for (int32_t chunk : {4096, 1, 7777, 44100, 10000}) {
        PullServed(3 * 44100 + 1234, chunk);
    }
    ref.Quarters(static_cast<int>(Pos / kQuarterBytes) + 1);
    std::vector<uint8_t> expected = AfterLeadIn(ref.Stream);
    expected.resize(Stream.size());
    EXPECT_EQ(Stream, expected);
    EXPECT_EQ(PlayedBytes(), Pos);
    FreeAll(blocks);
}

TEST_F(LiveOutputTest, DeviceWaitsInFrontOfAQuarterNotYetMixed) {
    std::vector<uint8_t> buf(2 * kQuarterBytes, 0xAA);
    // The first quarter is the ring's initial silence; it asks for quarters 1 and 2.
    EXPECT_EQ(PullOutput(buf.data(), 2 * kQuarterBytes), kQuarterBytes);
    EXPECT_EQ(buf, std::vector<uint8_t>(2 * kQuarterBytes, 0));
    EXPECT_EQ(PullOutput(buf.data(), 100), 0);
    EXPECT_EQ(PlayedBytes(), kQuarterBytes);

    std::lock_guard lock(MixLock);
    SampleBlock* block = NewSample(kSampleMono, 40000, [](int32_t, int32_t) { return 20000; });
    AddVoice(LiveMixer(), 0, 44100, 32512, 128, nullptr, block);
    FillQuarter();
    // Quarter 1 now holds the voice's first frames.
    EXPECT_EQ(PullOutput(buf.data(), 100), 100);
    EXPECT_NE(LoadS16(buf.data() + 8), 0);
    ClearVoices(LiveMixer());
    std::free(block);
}

TEST_F(LiveOutputTest, WorkerServesTheDeviceAndStopsOnRequest) {
    std::vector<SampleBlock*> blocks;
    {
        std::lock_guard lock(MixLock);
        AddTestVoices(LiveMixer(), blocks);
    }
    Reference ref;
    AddTestVoices(ref.Mixer, blocks);
    StartWorker();
    PullWithWorker(8 * kQuarterBytes, 4096);
    StopWorker();
    EXPECT_TRUE(Idle.load());

    ref.Quarters(7);
    EXPECT_EQ(Stream, AfterLeadIn(ref.Stream));
    FreeAll(blocks);
}

TEST(MiniThreadTest, LoopsOverItsCallbackUntilStopped) {
    static std::atomic<int> calls{0};
    static std::atomic<bool> woken{false};
    MiniThread thread;
    thread.Callback = [] {
        ++calls;
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    };
    thread.Wake = [] { woken = true; };
    StartThread(thread);
    EXPECT_EQ(thread.Running.load(), 1);
    while (calls.load() < 3) {
        std::this_thread::yield();
    }
    StopThread(thread);
    EXPECT_EQ(thread.Running.load(), 0);
    EXPECT_TRUE(woken.load());
    EXPECT_FALSE(thread.Handle.joinable());
    int after = calls.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(calls.load(), after);
}

// Without live output nothing outlives a release: the routine runs at once.
TEST(SampleReleaseTest, ReleasesAtOnceWithoutLiveVoices) {
    g_released = 0;
    SetSampleRelease(FreeReleased);
    ReleaseSample(Square(10));
    ReleaseSample(nullptr);
    EXPECT_EQ(g_released.load(), 1);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    SetSampleRelease(nullptr);
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
    ResizeInstrumentCode(code, 0);
    ResizeInstruments(song, 0);
    EXPECT_EQ(g_released.load(), 1) << "only the block that no voice plays is released";
    EXPECT_EQ(ReleaseFinishedSamples(), 1);

    // The first fill mixes frames 0..11024 from the held-back block.
    PullServed(4, 4);
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The second fill reaches frame 22050: the voice's data has run out and it is removed.
    PullServed(kQuarterBytes - 4, 4096);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    EXPECT_EQ(g_released.load(), 2);

    // Both quarters play the voice.
    PullServed(2 * kQuarterBytes, 4096);
    for (int q = 1; q <= 2; ++q) {
        const uint8_t* quarter = Stream.data() + q * kQuarterBytes;
        EXPECT_FALSE(AllZero(quarter, kQuarterBytes)) << "quarter " << q;
    }
    ResizePatterns(song, 0);
    ResizeTracks(song, 0);
    ResizeTracksIndex(song, 0);
}

TEST_F(LiveOutputTest, ReleaseUnderTheMixingLockAndAtTearDown) {
    SampleBlock* a = Square(44100);
    SampleBlock* b = Square(44100);
    {
        // A caller that already holds the lock, as the regeneration of an instrument does.
        std::lock_guard lock(MixLock);
        AddVoice(LiveMixer(), 0, 44100, 32512, 128, nullptr, a);
        ReleaseSample(a);
        ReleaseSample(b);
    }
    EXPECT_EQ(g_released.load(), 1);
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The output's tear-down clears the voices and releases what was held back.
    TearDownOutput();
    EXPECT_EQ(g_released.load(), 2);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    SetUpOutput(&Device);
}

SampleBlock* Click() {
    return NewSample(kSampleMono, 400, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f < 200 ? 30000 : -30000);
    });
}

SampleBlock* Tone(int32_t frames) {
    return NewSample(kSampleStereo, frames, [](int32_t f, int32_t c) {
        return static_cast<int16_t>(((f * (c ? 5 : 3)) % 400) * 60 - 12000);
    });
}

// "Stop" while a fill is in progress: the fill finishes with the voices, then the stream is
// stopped, the voices cleared and the stream started again.
TEST_F(LiveOutputTest, StopWaitsForTheFillInProgress) {
    SampleBlock* tone = Tone(100000);
    std::atomic<int64_t> totalAtStop{-1};
    std::atomic<int> voicesAtStop{-1};
    Device.OnStop = [&] {
        totalAtStop = LiveMixer()->Total;
        voicesAtStop = VoiceCount(LiveMixer());
    };
    StartWorker();
    std::thread stopper;
    {
        std::unique_lock lock(MixLock);
        AddVoice(LiveMixer(), 0, 44100, 32512, 128, nullptr, tone);
        // The device asks for quarters 1 and 2; the worker wakes and waits for the lock: a
        // fill is in progress.
        std::vector<uint8_t> buf(kQuarterBytes);
        ASSERT_EQ(PullOutput(buf.data(), kQuarterBytes), kQuarterBytes);
        while (Idle.load()) {
            std::this_thread::yield();
        }
        stopper = std::thread(StopLivePlayback);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(Device.Stops.load(), 0) << "Stop acted during a fill";
    }
    stopper.join();
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    EXPECT_GE(totalAtStop.load(), kQuarterFrames);
    EXPECT_EQ(voicesAtStop.load(), 1);
    {
        std::lock_guard lock(MixLock);
        EXPECT_EQ(VoiceCount(LiveMixer()), 0);
    }
    // The quarter mixed before "Stop" still plays.
    PullWithWorker(kQuarterBytes, 4096);
    EXPECT_FALSE(AllZero(Stream.data(), Stream.size()));
    StopWorker();
    std::free(tone);
}

// After "Stop" the delay's memory keeps sounding: the stream goes on exactly as a mixer whose
// voices were cleared at the same clock.
TEST_F(LiveOutputTest, DelayTailContinuesAfterStop) {
    SampleBlock* click = Click();
    Reference ref;
    AddVoice(LiveMixer(), 2000, 44100, 32512, 128, nullptr, click);
    AddVoice(LiveMixer(), 20000, 30000, 32512, 60, nullptr, click);
    AddVoice(ref.Mixer, 2000, 44100, 32512, 128, nullptr, click);
    AddVoice(ref.Mixer, 20000, 30000, 32512, 60, nullptr, click);
    // Two quarters mixed beyond what has played when "Stop" comes.
    PullServed(kQuarterBytes + 100, 4096);
    EXPECT_EQ(LiveMixer()->Total, 2 * kQuarterFrames);
    StopLivePlayback();
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    ref.Quarters(2);
    ClearVoices(ref.Mixer);
    PullServed(12 * kQuarterBytes, 3000);
    ref.Quarters(12);
    std::vector<uint8_t> expected = AfterLeadIn(ref.Stream);
    expected.resize(Stream.size());
    EXPECT_EQ(Stream, expected);
    // The quarters mixed after "Stop" hold the echoes of the cleared voices.
    EXPECT_FALSE(AllZero(Stream.data() + 3 * kQuarterBytes, kQuarterBytes));
    std::free(click);
}

class ExportWhilePlaying : public LiveOutputTest {
  protected:
    TTrack Song{};
    TInstrumentCode Code{};
    TempFolder Dir;

    void SetUp() override {
        LiveOutputTest::SetUp();
        NewSong(Song, Code);
        Song.Speed = 16;
        Song.Row = 8;
        Song.Instrument[0].Sample = Tone(100000);
        Song.Instrument[0].Env = {100, 3000, 2000};
        ResizePoints(Song, 0, 2);
        Song.Patterns[0].Points[0] = {0, 24, 0, 256, 128};
        Song.Patterns[0].Points[1] = {3, 19, 0, 200, 30};
        ResizePatternIndex(Song, 0, 1);
        Song.Tracks[0].PatternIndex[0] = 0;
    }
    void TearDown() override {
        // The instrument's block is still played by the live voices: its release waits for the
        // output's tear-down.
        ResizeInstrumentCode(Code, 0);
        ResizeInstruments(Song, 0);
        ResizePatterns(Song, 0);
        ResizeTracks(Song, 0);
        ResizeTracksIndex(Song, 0);
        LiveOutputTest::TearDown();
    }
};

TEST_F(ExportWhilePlaying, LeavesLiveVoicesAndClockAsTheyWere) {
    Reference ref;
    {
        std::lock_guard lock(MixLock);
        PlaySong(LiveMixer(), Song, 0);
    }
    PlaySong(ref.Mixer, Song, 0);
    PullServed(2 * kQuarterBytes + 500, 4096);
    const int64_t total = LiveMixer()->Total;
    const int32_t writePos = LiveMixer()->WritePos;
    const int32_t voices = VoiceCount(LiveMixer());
    ASSERT_GT(voices, 0);

    std::atomic<bool> heldDuringStop{false};
    Device.OnStop = [&] {
        // The exclusion is held by the exporting thread: another thread cannot take it.
        std::thread probe([&] {
            bool got = MixLock.try_lock();
            if (got) {
                MixLock.unlock();
            }
            heldDuringStop = !got;
        });
        probe.join();
    };
    std::string error;
    ASSERT_TRUE(ExportWavLive(Song, Dir / "live.wav", &error)) << error;
    EXPECT_TRUE(heldDuringStop.load());
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    EXPECT_EQ(LiveMixer()->Total, total);
    EXPECT_EQ(LiveMixer()->WritePos, writePos);
    EXPECT_EQ(VoiceCount(LiveMixer()), voices);

    // The file is what an export without live playback writes.
    ASSERT_TRUE(ExportWav(Song, Dir / "alone.wav", &error)) << error;
    const std::string live = ReadFile(Dir / "live.wav");
    EXPECT_EQ(live, ReadFile(Dir / "alone.wav"));
    EXPECT_EQ(live.size(), 44u + 4u * 16 * 32 * 8 * 10);

    // Live playback resumes as if the export had not happened.
    PullServed(6 * kQuarterBytes, 5000);
    ref.Quarters(static_cast<int>(Pos / kQuarterBytes) + 1);
    std::vector<uint8_t> expected = AfterLeadIn(ref.Stream);
    expected.resize(Stream.size());
    EXPECT_EQ(Stream, expected);
}

TEST(SetUpFailureDeathTest, EndsTheProgramWithThePartsMessages) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FakeDevice device;
            device.OpenResult = false;
            SetUpOutput(&device);
        },
        ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSound object");
    EXPECT_EXIT(
        {
            FakeDevice device;
            device.StreamResult = false;
            SetUpOutput(&device);
        },
        ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSoundBuffer object");
    EXPECT_EXIT(
        {
            ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            SetUpSdlOutput();
        },
        ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSound object");
}

// The SDL device plays the ring in real time on the dummy driver; "Stop" pauses and resumes it.
// (The exact stream is checked through kellix-render --play on the disk driver.)
TEST(SdlOutputTest, PlaysAndStopsOnTheDummyDriver) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    SampleBlock* tone = Square(44100);
    SetUpSdlOutput();
    StartWorker();
    PlayOutput();
    {
        std::lock_guard lock(MixLock);
        AddVoice(LiveMixer(), LiveMixer()->Total, 44100, 32512, 128, nullptr, tone);
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (PlayedBytes() < 2 * kQuarterBytes && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(PlayedBytes(), 2 * kQuarterBytes);
    StopLivePlayback();
    {
        std::lock_guard lock(MixLock);
        EXPECT_EQ(VoiceCount(LiveMixer()), 0);
        EXPECT_GE(LiveMixer()->Total, kQuarterFrames);
    }
    const int64_t played = PlayedBytes();
    while (PlayedBytes() == played && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GT(PlayedBytes(), played) << "the device did not resume after Stop";
    StopWorker();
    TearDownOutput();
    std::free(tone);
}

} // namespace
} // namespace kellix::test
