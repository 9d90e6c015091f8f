#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "audio/mixer.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace kellix;

namespace {

// Pitches, voice parameters and effect settings out of range are clamped; mixers of another
// format are refused.
TEST(Parameters, OutOfRangeAreClampedOrRefused) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int32_t> cases[] = {
        {24.0f, 44100}, {23.0f, 41625}, {-inf, 1}, {std::nanf(""), 1}, {inf, 2147483647},
    };
    for (const auto& [pitch, step] : cases) {
        EXPECT_EQ(PitchToStep(pitch), step) << pitch;
    }
    EXPECT_EQ(CreateSoundBuffer(1, 44100, 16), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 65537, 16), nullptr);

    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    TestSample s(kellix::test::NewBlock(kSampleMono, 400, 400));
    TEnvelope bad{-5, -6, -7};
    AddVoice(m, 0, 0, 99999, 999, &bad, s.get());
    AddVoice(m, 0, -3, -5, -5, nullptr, s.get());
    const Voice& a = *m->First;
    EXPECT_EQ((std::array{a.Step, a.Peak, a.Pan, a.Env.Attack, a.Env.Cont, a.Env.Ende}),
              (std::array{1, 32767, 255, 0, 0, 0}));
    EXPECT_EQ((std::array{m->Last->Step, m->Last->Peak, m->Last->Pan}), (std::array{1, 0, 0}));
    FreeSoundBuffer(m);

    MasterEffects e{};
    SetStereoDelay(e, 1, 2, -5, 50000);
    EXPECT_EQ(e.Delay, (StereoDelaySettings{1, 2, 0, 44099}));
    SetReverb(e, 4000, 20000, 20000, 300, 0);
    EXPECT_EQ(e.Reverb, (ReverbSettings{4000, 20000, 10000, 300, 1}));
    SetReverb(e, 1, 2, 5, 7, 999);
    EXPECT_EQ((std::array{e.Reverb.Step, e.Reverb.Cutoff}), (std::array{5, 256}));
    EXPECT_EQ(StartupEffects(),
              (MasterEffects{{9980, 8191, 10584, 15876}, {4000, 20000, 10000, 256, 256}}));
}

// At Step 19 the rate 44100 / 19 rounded to single precision makes the sounding length of a
// 20000-frame sample (46416412 output frames) reach one frame past the data; the reads of every
// set of mixing routines must still stop at its end.
TEST(MixBlock, VeryLowPitchStaysInsideTheData) {
    TestSample s(kellix::test::NewSample(kSampleMono, 20000,
                                         [](int32_t, int32_t) { return int16_t{1000}; }));
    const TEnvelope hold{0, 2147483647, 0};
    std::vector<int16_t> ring(88200);
    auto* out = reinterpret_cast<uint8_t*>(ring.data());
    for (MixTier tier : {MixTier::Portable, MixTier::Avx2, MixTier::Avx512}) {
        SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
        SetStereoDelay(m->Effects, 0, 0, 0, 0);
        AddVoice(m, -(46416412 - 20000), 19, 32767, 128, &hold, s.get());
        for (int i = 0; i < 2 && SetMixTier(tier); ++i) {
            MixBlock(m, out, 44100);
            EXPECT_EQ(ring[0] != 0, i == 0) << static_cast<int>(tier);
        }
        FreeSoundBuffer(m);
    }
    SetMixTier(BestMixTier());
}

} // namespace
