// Thousands of random voices mixed by every set of mixing routines this processor has (the
// portable ones and the vector ones) and by the literal model: the bytes must be identical.
#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "audio/mixer.h"
#include "mixer_model.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

using namespace kellix;

namespace {

constexpr int32_t kRingBytes = 176400;

struct Random {
    std::mt19937 engine{20261207};
    int32_t In(int32_t lo, int32_t hi) {
        return std::uniform_int_distribution<int32_t>(lo, hi)(engine);
    }
    bool OneIn(int32_t n) { return In(0, n - 1) == 0; }
};

// Samples of both formats (and a few unusable ones), short and long, from quiet to full scale
// and alternating extremes, so that sums saturate.
std::vector<TestSample> SamplePool(Random& random) {
    std::vector<TestSample> pool;
    for (int i = 0; i < 28; ++i) {
        uint8_t format = static_cast<uint8_t>(i < 2 ? 3 : 1 + i % 2);
        int32_t frames = i < 6             ? random.In(0, 3)
                         : random.OneIn(4) ? random.In(20000, 60000)
                                           : random.In(4, 5000);
        std::vector<int16_t> data(static_cast<std::size_t>(frames) * format);
        int kind = i % 4;
        for (std::size_t j = 0; j < data.size(); ++j) {
            data[j] = kind == 0   ? static_cast<int16_t>(random.In(-32768, 32767))
                      : kind == 1 ? static_cast<int16_t>(j % 2 ? 32767 : -32768)
                      : kind == 2 ? static_cast<int16_t>(32000 * std::sin(j * 0.01))
                                  : static_cast<int16_t>(j / format % 300 < 150 ? 32767 : -32768);
        }
        pool.push_back(MakeSample(format, data));
    }
    return pool;
}

// Steps around the limits of the vector routines' source windows and ways of fetching, low
// steps, the exact multiples of the rate, and huge ones.
int32_t RandomStep(Random& random) {
    static const int32_t kEdges[] = {1,      2,      44099,  44100,    44101,     88199,  88200,
                                     88201,  91140,  91141,  176400,   182280,    182281, 190000,
                                     390720, 390721, 400000, 45158400, 2147483647};
    switch (random.In(0, 5)) {
    case 0:
        return kEdges[random.In(0, static_cast<int32_t>(std::size(kEdges)) - 1)];
    case 1:
        return random.In(1, 11025);
    case 2:
        return random.In(180000, 420000);
    case 3:
        return random.In(420000, 3000000);
    default:
        return random.In(11025, 180000);
    }
}

int32_t RandomDuration(Random& random) {
    switch (random.In(0, 5)) {
    case 0:
        return 0;
    case 1:
        return random.In(1, 40);
    case 2:
        return random.OneIn(3) ? 2147483647 : random.In(5000, 100000);
    default:
        return random.In(40, 5000);
    }
}

TEST(MixerEquivalence, EveryTierMatchesTheModelOnRandomVoices) {
    std::vector<MixTier> tiers;
    for (MixTier tier : {MixTier::Portable, MixTier::Avx2, MixTier::Avx512}) {
        if (SetMixTier(tier)) {
            tiers.push_back(tier);
        }
    }
    Random random;
    const std::vector<TestSample> pool = SamplePool(random);
    int voices = 0;
    for (int round = 0; round < 100; ++round) {
        auto decay = [&] {
            return random.OneIn(4) ? random.In(-70000, 70000) : random.In(0, 40000);
        };
        auto delayFrames = [&] { return random.OneIn(3) ? random.In(0, 20) : random.In(0, 44099); };
        model::Delay delay{decay(), decay(), delayFrames(), delayFrames()};
        SetStereoDelay(delay.decayL, delay.decayR, delay.delayL, delay.delayR);
        std::vector<SoundBuffer*> mixers;
        std::vector<std::vector<int16_t>> rings;
        for (std::size_t t = 0; t < tiers.size(); ++t) {
            mixers.push_back(CreateSoundBuffer(2, 44100, 16));
            rings.emplace_back(kRingBytes / 2);
        }
        model::Mixer ref;
        std::vector<int16_t> refRing(kRingBytes / 2);
        for (int block = 0; block < 8; ++block) {
            const int32_t n = random.OneIn(4)   ? 11025
                              : random.OneIn(3) ? random.In(1, 40)
                                                : random.In(41, 9000);
            for (int added = random.In(0, 10); added > 0; --added, ++voices) {
                const SampleBlock* sample = pool[static_cast<std::size_t>(random.In(
                                                     0, static_cast<int32_t>(pool.size()) - 1))]
                                                .get();
                // Starts long before the block, inside it and just after it.
                int64_t start =
                    ref.total + (random.OneIn(3) ? random.In(-200000, -1) : random.In(0, n + 50));
                int32_t step = RandomStep(random);
                int32_t peak = random.OneIn(3) ? 32767 : random.In(0, 32767);
                int32_t pan = random.OneIn(3) ? 127 + random.In(0, 2) : random.In(0, 255);
                TEnvelope env{RandomDuration(random), RandomDuration(random),
                              RandomDuration(random)};
                bool noEnvelope = random.OneIn(8);
                for (SoundBuffer* m : mixers) {
                    AddVoice(m, start, step, peak, pan, noEnvelope ? nullptr : &env, sample);
                }
                TEnvelope used = noEnvelope ? TEnvelope{0, 268435455, 0} : env;
                ref.voices.push_back({sample, step, (ref.total - start) * 4, peak, pan, used});
            }
            model::MixBlock(ref, refRing.data(), n, delay);
            for (std::size_t t = 0; t < tiers.size(); ++t) {
                SetMixTier(tiers[t]);
                MixBlock(mixers[t], reinterpret_cast<uint8_t*>(rings[t].data()), n);
                ASSERT_EQ(rings[t], refRing) << "tier " << static_cast<int>(tiers[t]) << " round "
                                             << round << " block " << block;
                ASSERT_EQ(std::memcmp(mixers[t]->EchoBuffer, ref.echo.data(), kRingBytes), 0);
                ASSERT_EQ(VoiceCount(mixers[t]), static_cast<int32_t>(ref.voices.size()));
            }
        }
        for (SoundBuffer* m : mixers) {
            FreeSoundBuffer(m);
        }
    }
    SetMixTier(BestMixTier());
    SetStartupEffects();
    EXPECT_GT(voices, 3000);
    RecordProperty("tiers", static_cast<int>(tiers.size()));
}

} // namespace
