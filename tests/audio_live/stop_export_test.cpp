#include "live_fixture.h"

#include "audio/wav_export.h"
#include "song/sequencer.h"
#include "song/track.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace kellix::test {
namespace {

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

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool AllZero(const uint8_t* p, std::size_t n) {
    return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
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
    std::filesystem::path Dir =
        std::filesystem::temp_directory_path() /
        ("kellix_live_export_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));

    void SetUp() override {
        LiveOutputTest::SetUp();
        std::filesystem::create_directories(Dir);
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
        std::filesystem::remove_all(Dir);
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
    ASSERT_TRUE(ExportWavLive(Song, (Dir / "live.wav").string(), &error)) << error;
    EXPECT_TRUE(heldDuringStop.load());
    EXPECT_EQ(Device.Stops.load(), 1);
    EXPECT_EQ(Device.Plays.load(), 2);
    EXPECT_EQ(LiveMixer()->Total, total);
    EXPECT_EQ(LiveMixer()->WritePos, writePos);
    EXPECT_EQ(VoiceCount(LiveMixer()), voices);

    // The file is what an export without live playback writes.
    ASSERT_TRUE(ExportWav(Song, (Dir / "alone.wav").string(), &error)) << error;
    std::vector<uint8_t> live = ReadFile(Dir / "live.wav");
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
}

} // namespace
} // namespace kellix::test
