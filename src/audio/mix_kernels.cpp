#include "audio/mix_kernels.h"

#include "audio/mix_kernels_wide.h"
#include "song/sample.h"
#include "support/cpu.h"

#include <algorithm>
#include <atomic>

namespace kellix {

namespace {

inline int16_t Saturate16(int32_t v) {
    return static_cast<int16_t>(std::clamp<int32_t>(v, -32768, 32767));
}

// a + b with a = (s0 x w) >> 16 and b = (s1 x (65535 - w)) >> 16, as a 16-bit value.
inline int32_t Interpolate(int32_t s0, int32_t s1, int32_t w) {
    int32_t a = (s0 * w) >> 16;
    int32_t b = (s1 * (65535 - w)) >> 16;
    return static_cast<int16_t>(a + b);
}

inline int32_t GainLeft(int32_t level, int32_t pan) {
    return pan < 128 ? (level * pan) >> 7 : level;
}

inline int32_t GainRight(int32_t level, int32_t pan) {
    return pan > 128 ? (level * (255 - pan)) >> 7 : level;
}

void RampScalar(MixRamp& r, int32_t* levels, int32_t count) {
    const int32_t whole = r.peak / r.span;
    const int32_t part = r.peak % r.span;
    for (int32_t i = 0; i < count; ++i) {
        r.Step(whole, part);
        levels[i] = r.level;
    }
}

// Frames from..Frames - 1 of the run.
template <bool Constant>
void MonoScalar(const MixWeights& weights, const MixRun& run, MixCursor& c, int32_t from) {
    int16_t* out = run.Out;
    for (int32_t j = from; j < run.Frames; ++j) {
        const uint8_t* s = run.Data + 2 * c.k;
        int32_t value = Interpolate(LoadS16(s), LoadS16(s + 2), weights.Table[c.e]);
        int32_t level = Constant ? run.Level : run.Levels[j];
        int32_t v = (value * static_cast<int16_t>(level)) >> 16;
        out[2 * j] = Saturate16(out[2 * j] + v);
        out[2 * j + 1] = Saturate16(out[2 * j + 1] + v);
        c.Advance(*run.Steps);
    }
}

template <bool Constant>
void StereoScalar(const MixWeights& weights, const MixRun& run, MixCursor& c, int32_t from) {
    int16_t* out = run.Out;
    for (int32_t j = from; j < run.Frames; ++j) {
        const uint8_t* s = run.Data + 4 * c.k;
        int32_t w = weights.Table[c.e];
        int32_t vl = Interpolate(LoadS16(s), LoadS16(s + 4), w);
        int32_t vr = Interpolate(LoadS16(s + 2), LoadS16(s + 6), w);
        int32_t level = Constant ? run.Level : run.Levels[j];
        out[2 * j] = Saturate16(out[2 * j] + ((vl * GainLeft(level, run.Pan)) >> 16));
        out[2 * j + 1] = Saturate16(out[2 * j + 1] + ((vr * GainRight(level, run.Pan)) >> 16));
        c.Advance(*run.Steps);
    }
}

MixTier TierFor(uint32_t features) {
#ifdef KELLIX_WIDE_MIX
    if (features & CPU_AVX512) {
        return MixTier::Avx512;
    }
    if (features & CPU_AVX2) {
        return MixTier::Avx2;
    }
#endif
    (void)features;
    return MixTier::Portable;
}

// Chosen once, when the program starts, from the processor checks.
const MixTier g_best = TierFor(DetectProcessorFeatures());
std::atomic<MixTier> g_tier{g_best};

} // namespace

MixSteps MakeMixSteps(int32_t step, int32_t rate) {
    MixSteps s{};
    s.whole = step / rate;
    s.part = step % rate;
    s.rate = rate;
    s.Lanes = int64_t{16} * step / rate < 16384;
    if (!s.Lanes) {
        return s;
    }
    for (int i = 0; i < 5; ++i) {
        int64_t total = (int64_t{1} << i) * step;
        int64_t rest = (total % rate) << 16;
        s.LaneWhole[i] = static_cast<int32_t>(total / rate);
        s.LanePart[i] = static_cast<int32_t>(total % rate);
        s.LaneRest[i] = static_cast<int32_t>(rest % rate);
        s.LaneAdvance[i] = static_cast<int32_t>((total / rate) * 65536 + rest / rate);
    }
    // Over 15 frames the source advances by at most ceil(15 x Step / Rate) frames.
    s.Span16 = static_cast<int32_t>((int64_t{15} * step + rate - 1) / rate + 1);
    // Positions then stay below 2^14 + Span16 frames.
    s.RebaseEvery = std::max(1, 16384 / (s.LaneWhole[4] + 1) - 1);
    return s;
}

MixWeights MakeMixWeights(const int32_t* table, int32_t rate) {
    MixWeights w{table, true, 65536.0 / rate};
    for (int32_t e = 0; e < rate && w.Computable; ++e) {
        w.Computable =
            table[e] == static_cast<int32_t>(static_cast<double>(e) * w.Scale + kWeightBias);
    }
    return w;
}

MixTier BestMixTier() {
    return g_best;
}

MixTier CurrentMixTier() {
    return g_tier.load(std::memory_order_relaxed);
}

bool SetMixTier(MixTier tier) {
    if (static_cast<int>(tier) > static_cast<int>(g_best)) {
        return false;
    }
    g_tier.store(tier, std::memory_order_relaxed);
    return true;
}

void RampLevels(MixRamp& r, int32_t* levels, int32_t count) {
    int32_t done = 0;
#ifdef KELLIX_WIDE_MIX
    switch (CurrentMixTier()) {
    case MixTier::Avx512:
        done = RampAvx512(r, levels, count);
        break;
    case MixTier::Avx2:
        done = RampAvx2(r, levels, count);
        break;
    case MixTier::Portable:
        break;
    }
#endif
    RampScalar(r, levels + done, count - done);
}

void MixMonoFrames(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    int32_t done = 0;
#ifdef KELLIX_WIDE_MIX
    switch (CurrentMixTier()) {
    case MixTier::Avx512:
        done = MonoAvx512(run, c);
        break;
    case MixTier::Avx2:
        done = MonoAvx2(weights, run, c);
        break;
    case MixTier::Portable:
        break;
    }
#endif
    if (run.Levels) {
        MonoScalar<false>(weights, run, c, done);
    } else {
        MonoScalar<true>(weights, run, c, done);
    }
}

void MixStereoFrames(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    int32_t done = 0;
#ifdef KELLIX_WIDE_MIX
    switch (CurrentMixTier()) {
    case MixTier::Avx512:
        done = StereoAvx512(run, c);
        break;
    case MixTier::Avx2:
        done = StereoAvx2(weights, run, c);
        break;
    case MixTier::Portable:
        break;
    }
#endif
    if (run.Levels) {
        StereoScalar<false>(weights, run, c, done);
    } else {
        StereoScalar<true>(weights, run, c, done);
    }
}

} // namespace kellix
