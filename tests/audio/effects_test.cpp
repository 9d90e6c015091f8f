#include "audio/effects.h"
#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kellix;

namespace {

struct DelayFixture : ::testing::Test {
    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<int16_t> ring = std::vector<int16_t>(88200, 0);
    void TearDown() override {
        FreeSoundBuffer(mixer);
        SetStartupEffects();
    }
    void Delay(int32_t n) {
        ApplyStereoDelay(mixer, reinterpret_cast<uint8_t*>(ring.data()), n);
        mixer->WritePos = (mixer->WritePos + 4 * n) % mixer->Size;
    }
};

TEST_F(DelayFixture, ClickEchoesAtEachChannelsOwnSpacing) {
    SetStereoDelay(16384, 8192, 10584, 15876);
    ring[0] = 20000;
    ring[1] = 20000;
    Delay(44100);
    EXPECT_EQ(ring[2 * 10584], 10000);
    EXPECT_EQ(ring[2 * 21168], 5000);
    EXPECT_EQ(ring[2 * 31752], 2500);
    EXPECT_EQ(ring[2 * 42336], 1250);
    EXPECT_EQ(ring[2 * 15876 + 1], 5000);
    EXPECT_EQ(ring[2 * 31752 + 1], 1250);
    EXPECT_EQ(ring[2 * 10584 + 1], 0);
    // The next echo passes the end of the ring and lands at 52920 - 44100.
    std::fill(ring.begin(), ring.end(), 0);
    Delay(44100);
    EXPECT_EQ(ring[2 * 8820], 625);
    EXPECT_EQ(ring[2 * 8819], 0);
}

TEST_F(DelayFixture, ZeroDelayEchoesOncePerSecond) {
    SetStereoDelay(16384, 0, 0, 0);
    ring[2 * 5] = 8000;
    Delay(44100);
    EXPECT_EQ(ring[2 * 5], 8000);
    std::fill(ring.begin(), ring.end(), 0);
    Delay(44100);
    EXPECT_EQ(ring[2 * 5], 4000);
    EXPECT_EQ(ring[2 * 6], 0);
}

TEST_F(DelayFixture, WithoutFeedbackOnlyTheClampChangesTheSignal) {
    SetStereoDelay(0, 0, 10584, 15876);
    ring[0] = -32768;
    ring[1] = 32767;
    ring[2] = 123;
    ring[3] = -456;
    Delay(2);
    EXPECT_EQ(ring[0], -32767);
    EXPECT_EQ(ring[1], 32766);
    EXPECT_EQ(ring[2], 123);
    EXPECT_EQ(ring[3], -456);
}

TEST_F(DelayFixture, LargeFeedbackGrowsToSaturationWithoutWrapping) {
    SetStereoDelay(40000, 40000, 100, 100);
    ring[0] = 1000;
    Delay(44100);
    int16_t last = 0;
    for (int i = 0; i < 44100; i += 100) {
        ASSERT_GE(ring[2 * i], last) << i; // never turns negative
        last = ring[2 * i];
    }
    EXPECT_EQ(last, 32766);
}

TEST(StereoDelaySettings, DelaysAreClampedToTheEchoMemory) {
    SetStereoDelay(1, 2, -5, 50000);
    StereoDelaySettings s = CurrentStereoDelay();
    EXPECT_EQ(s.DecayL, 1);
    EXPECT_EQ(s.DecayR, 2);
    EXPECT_EQ(s.DelayL, 0);
    EXPECT_EQ(s.DelayR, 44099);
    SetStartupEffects();
    s = CurrentStereoDelay();
    EXPECT_EQ(s.DecayL, 9980);
    EXPECT_EQ(s.DecayR, 8191);
    EXPECT_EQ(s.DelayL, 10584);
    EXPECT_EQ(s.DelayR, 15876);
}

TEST(ReverbSettings, AreStoredWithTheirLimits) {
    SetReverb(4000, 20000, 20000, 300, 0);
    ReverbSettings r = CurrentReverb();
    EXPECT_EQ(r.Amplitude, 4000);
    EXPECT_EQ(r.Spare, 20000);
    EXPECT_EQ(r.Step, 10000);
    EXPECT_EQ(r.Band, 300);
    EXPECT_EQ(r.Cutoff, 1);
    SetReverb(1, 20000, 5, 7, 999);
    EXPECT_EQ(CurrentReverb().Step, 5);
    EXPECT_EQ(CurrentReverb().Cutoff, 256);
    SetStartupEffects();
    EXPECT_EQ(CurrentReverb().Step, 10000);
    EXPECT_EQ(CurrentReverb().Band, 256);
}

} // namespace
