#include "audio/effects.h"
#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

using namespace kellix;

namespace {

// Runs the delay for two seconds over a ring holding clicks (sample, value) where a sample is 2 x
// frame + channel, silencing the ring after the first second. Checks are (second, sample,
// value) triples.
void ExpectEchoes(const char* what, std::array<int32_t, 4> settings,
                  std::vector<std::pair<int32_t, int16_t>> clicks, std::vector<int32_t> checks) {
    SetStereoDelay(settings[0], settings[1], settings[2], settings[3]);
    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<int16_t> ring(88200);
    for (const auto& [at, value] : clicks) {
        ring[at] = value;
    }
    for (int32_t second = 0; second < 2; ++second) {
        ApplyStereoDelay(mixer, reinterpret_cast<uint8_t*>(ring.data()), 44100);
        for (std::size_t i = 0; i < checks.size(); i += 3) {
            if (checks[i] == second) {
                EXPECT_EQ(ring[checks[i + 1]], checks[i + 2]) << what << " at " << checks[i + 1];
            }
        }
        std::fill(ring.begin(), ring.end(), 0);
    }
    FreeSoundBuffer(mixer);
    SetStartupEffects();
}

TEST(StereoDelay, HandWorkedEchoes) {
    // Each channel echoes at its own spacing and decay; the fifth left echo passes the end of
    // the ring and lands at 52920 - 44100.
    ExpectEchoes("spacing", {16384, 8192, 10584, 15876}, {{0, 20000}, {1, 20000}},
                 {0, 2 * 10584,     10000, 0, 2 * 21168,     5000, 0, 2 * 42336,     1250,
                  0, 2 * 10584 + 1, 0,     0, 2 * 15876 + 1, 5000, 0, 2 * 31752 + 1, 1250,
                  1, 2 * 8820,      625,   1, 2 * 8819,      0});
    ExpectEchoes("zero delay echoes once a second", {16384, 0, 0, 0}, {{10, 8000}},
                 {0, 10, 8000, 1, 10, 4000, 1, 12, 0});
    ExpectEchoes("only the clamp without feedback", {0, 0, 10584, 15876},
                 {{0, -32768}, {1, 32767}, {2, 123}, {3, -456}},
                 {0, 0, -32767, 0, 1, 32766, 0, 2, 123, 0, 3, -456});
    // Feedback above one grows to saturation without wrapping.
    ExpectEchoes("saturation", {40000, 40000, 100, 100}, {{0, 1000}},
                 {0, 2 * 4000, 32766, 0, 2 * 44000, 32766, 1, 0, 32766});
}

TEST(EffectSettings, AreClampedToTheirLimits) {
    SetStereoDelay(1, 2, -5, 50000);
    const StereoDelaySettings d = CurrentStereoDelay();
    EXPECT_EQ((std::array{d.DecayL, d.DecayR, d.DelayL, d.DelayR}), (std::array{1, 2, 0, 44099}));
    SetReverb(4000, 20000, 20000, 300, 0);
    const ReverbSettings r = CurrentReverb();
    EXPECT_EQ((std::array{r.Amplitude, r.Spare, r.Step, r.Band, r.Cutoff}),
              (std::array{4000, 20000, 10000, 300, 1}));
    SetReverb(1, 2, 5, 7, 999);
    EXPECT_EQ((std::array{CurrentReverb().Step, CurrentReverb().Cutoff}), (std::array{5, 256}));
    SetStartupEffects();
}

} // namespace
