// The mixer: thousands of random voices mixed by every set of mixing routines this processor has
// (the portable ones and the vector ones) and by the literal model, whose bytes must be
// identical; and the parameters it clamps or refuses.
#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "audio/mixer.h"
#include "mixer_model.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <random>

using namespace kellix;

namespace {

int32_t VoiceCount(const SoundBuffer* mixer) {
    int32_t n = 0;
    for (const Voice* v = mixer->First; v; v = v->Next) {
        ++n;
    }
    return n;
}

TEST(MixerEquivalence, EveryTierMatchesTheModelOnRandomVoices) {
    const MixTier all[] = {MixTier::Portable, MixTier::Avx2, MixTier::Avx512};
    std::vector<MixTier> tiers;
    std::copy_if(std::begin(all), std::end(all), std::back_inserter(tiers), SetMixTier);
    std::mt19937 engine{20261207};
    auto in = [&](int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(engine);
    };
    auto oneIn = [&](int32_t n) { return in(0, n - 1) == 0; };
    // Samples of both formats, a few unusable ones and none, short and long, from quiet to full
    // scale and alternating extremes, so that sums saturate.
    std::vector<TestSample> pool(1);
    for (int i = 0; i < 28; ++i) {
        const int format = i < 2 ? 3 : 1 + i % 2;
        const int32_t frames = i < 6 ? in(0, 3) : oneIn(4) ? in(20000, 60000) : in(4, 5000);
        auto value = [&](int32_t f, int32_t c) {
            const int32_t j = f * format + c;
            const int32_t values[] = {in(-32768, 32767), j % 2 ? 32767 : -32768,
                                      static_cast<int32_t>(32000 * std::sin(j * 0.01)),
                                      f % 300 < 150 ? 32767 : -32768};
            return static_cast<int16_t>(values[i % 4]);
        };
        pool.emplace_back(kellix::test::NewSample(static_cast<uint8_t>(format), frames, value));
    }
    // Steps around the limits of the vector routines' source windows and ways of fetching, low
    // steps, the exact multiples of the rate, and huge ones.
    const int32_t edges[] = {1,      2,      44099,  44100,    44101,     88199,  88200,
                             88201,  91140,  91141,  176400,   182280,    182281, 190000,
                             390720, 390721, 400000, 45158400, 2147483647};
    auto step = [&] {
        const int32_t kind = in(0, 5);
        return kind == 0   ? edges[in(0, std::size(edges) - 1)]
               : kind == 1 ? in(1, 11025)
               : kind == 2 ? in(180000, 420000)
               : kind == 3 ? in(420000, 3000000)
                           : in(11025, 180000);
    };
    // Envelope parts up to 2^31 - 1 frames, whose sums pass the 32-bit range.
    auto duration = [&] {
        const int32_t kind = in(0, 5);
        return kind == 0   ? 0
               : kind == 1 ? in(1, 40)
               : kind > 2  ? in(40, 5000)
               : oneIn(3)  ? 2147483647
                           : in(5000, 100000);
    };
    int voices = 0;
    for (int round = 0; round < 100; ++round) {
        // Short delays and gains beyond 16 bits take the delay's frame-by-frame path.
        auto decay = [&] { return oneIn(4) ? in(-70000, 70000) : in(0, 40000); };
        auto delayFrames = [&] { return oneIn(3) ? in(0, 20) : in(0, 44099); };
        model::Delay delay{decay(), decay(), delayFrames(), delayFrames()};
        std::vector<SoundBuffer*> mixers;
        std::vector<std::vector<int16_t>> rings(tiers.size() + 1, std::vector<int16_t>(88200));
        for (std::size_t t = 0; t < tiers.size(); ++t) {
            mixers.push_back(CreateSoundBuffer(2, 44100, 16));
            mixers.back()->Total = round % 2 ? int64_t{3} << 31 : 0;
            SetStereoDelay(mixers.back()->Effects, delay.decayL, delay.decayR, delay.delayL,
                           delay.delayR);
        }
        // Every other round the clock starts past 32 bits, as after 13.5 hours of live output.
        model::Mixer ref;
        ref.total = round % 2 ? int64_t{3} << 31 : 0;
        for (int block = 0; block < 8; ++block) {
            const int32_t n = oneIn(4)   ? 11025
                              : oneIn(3) ? in(1, 40)
                                         : in(41, oneIn(4) ? 44100 : 9000);
            for (int added = in(0, 10); added > 0; --added, ++voices) {
                const SampleBlock* sample = pool[in(0, pool.size() - 1)].get();
                // Starts long before the block, inside it and just after it.
                int64_t start = ref.total + (oneIn(3) ? in(-200000, -1) : in(0, n + 50));
                int32_t s = step();
                int32_t peak = oneIn(3) ? 32767 : in(0, 32767);
                int32_t pan = oneIn(3) ? 127 + in(0, 2) : in(0, 255);
                TEnvelope env{duration(), duration(), duration()};
                bool noEnvelope = oneIn(8);
                for (SoundBuffer* m : mixers) {
                    AddVoice(m, start, s, peak, pan, noEnvelope ? nullptr : &env, sample);
                }
                TEnvelope used = noEnvelope ? TEnvelope{0, 268435455, 0} : env;
                ref.voices.push_back({sample, s, (ref.total - start) * 4, peak, pan, used});
            }
            model::MixBlock(ref, rings.back().data(), n, delay);
            for (std::size_t t = 0; t < tiers.size(); ++t) {
                SetMixTier(tiers[t]);
                MixBlock(mixers[t], reinterpret_cast<uint8_t*>(rings[t].data()), n);
                ASSERT_EQ(rings[t], rings.back()) << "tier " << static_cast<int>(tiers[t])
                                                  << " round " << round << " block " << block;
                ASSERT_EQ(std::memcmp(mixers[t]->EchoBuffer, ref.echo.data(), model::kSize), 0);
                ASSERT_EQ(VoiceCount(mixers[t]), static_cast<int32_t>(ref.voices.size()));
            }
        }
        for (SoundBuffer* m : mixers) {
            FreeSoundBuffer(m);
        }
    }
    SetMixTier(BestMixTier());
    EXPECT_GT(voices, 3000);
}

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
