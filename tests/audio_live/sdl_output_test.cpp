#include "live_fixture.h"

#include "sdl_output.h"

#include <cstdlib>

namespace kellix::test {
namespace {

// The SDL device plays the ring in real time on the dummy driver; "Stop" pauses and resumes it.
// (The exact stream is checked through kellix-render --play on the disk driver.)
TEST(SdlOutputTest, PlaysAndStopsOnTheDummyDriver) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    SampleBlock* tone = NewSample(kSampleMono, 44100, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f % 100 < 50 ? 9000 : -9000);
    });
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

TEST(SdlOutputDeathTest, NoSoundDeviceEndsWithThePartsMessage) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ::setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
            SetUpSdlOutput();
        },
        ::testing::ExitedWithCode(1), "Error!: Failed to create IDirectSound object");
}

} // namespace
} // namespace kellix::test
