#include "audio/mix_kernels.h"

#include "song/sample.h"

#include <algorithm>

#if defined(__x86_64__)
#include <immintrin.h>
#define KELLIX_MIX_AVX2 1
#endif

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

// One step: acc -= peak; while acc < 0 { level += direction; acc += span }, without the loop
// (acc starts in [0, span), so at most one span comes back after the whole ones).
inline void RampStep(MixRamp& r, int32_t whole, int32_t part) {
    r.level += r.direction * whole;
    r.acc -= part;
    int32_t borrow = r.acc >> 31;
    r.level -= r.direction * borrow;
    r.acc += borrow & r.span;
}

void RampScalar(MixRamp& r, int32_t* levels, int32_t count) {
    const int32_t whole = r.peak / r.span;
    const int32_t part = r.peak % r.span;
    for (int32_t i = 0; i < count; ++i) {
        RampStep(r, whole, part);
        levels[i] = r.level;
    }
}

void MonoScalar(const MixWeights& weights, const uint8_t* data, MixCursor& c, const int32_t* levels,
                int16_t* out, int32_t frames) {
    for (int32_t j = 0; j < frames; ++j) {
        const uint8_t* s = data + 2 * c.k;
        int32_t value = Interpolate(LoadS16(s), LoadS16(s + 2), weights.Table[c.e]);
        int32_t v = (value * static_cast<int16_t>(levels[j])) >> 16;
        out[2 * j] = Saturate16(out[2 * j] + v);
        out[2 * j + 1] = Saturate16(out[2 * j + 1] + v);
        c.Advance();
    }
}

void StereoScalar(const MixWeights& weights, const uint8_t* data, MixCursor& c,
                  const int32_t* levels, int32_t pan, int16_t* out, int32_t frames) {
    for (int32_t j = 0; j < frames; ++j) {
        const uint8_t* s = data + 4 * c.k;
        int32_t w = weights.Table[c.e];
        int32_t vl = Interpolate(LoadS16(s), LoadS16(s + 4), w);
        int32_t vr = Interpolate(LoadS16(s + 2), LoadS16(s + 6), w);
        out[2 * j] = Saturate16(out[2 * j] + ((vl * GainLeft(levels[j], pan)) >> 16));
        out[2 * j + 1] = Saturate16(out[2 * j + 1] + ((vr * GainRight(levels[j], pan)) >> 16));
        c.Advance();
    }
}

#ifdef KELLIX_MIX_AVX2

// Eight output frames at a time: each lane carries its own (k, e), advanced by eight frames'
// worth of Step per pass, so the lanes stay exactly on the scalar sequence.
struct LaneCursor {
    __m256i k, e, whole8, part8, rate;
};

// W[e] computed as truncate(e x scale + bias) in double precision, four lanes at a time;
// used only where a check over every e showed that it reproduces the table.
__attribute__((target("avx2"))) inline __m256i ComputedWeights(__m256i e, double scale) {
    const __m256d s = _mm256_set1_pd(scale);
    const __m256d bias = _mm256_set1_pd(kWeightBias);
    __m256d lo =
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(e)), s), bias);
    __m256d hi =
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(e, 1)), s), bias);
    return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
}

__attribute__((target("avx2"))) inline __m256i Weights8(const MixWeights& w, __m256i e) {
    return w.Computable ? ComputedWeights(e, w.Scale) : _mm256_i32gather_epi32(w.Table, e, 4);
}

__attribute__((target("avx2"))) LaneCursor StartLanes(MixCursor& c) {
    alignas(32) int32_t k[8], e[8];
    MixCursor t = c;
    for (int i = 0; i < 8; ++i) {
        k[i] = static_cast<int32_t>(t.k);
        e[i] = t.e;
        t.Advance();
    }
    int64_t eight = int64_t{8} * c.step;
    return {_mm256_load_si256(reinterpret_cast<const __m256i*>(k)),
            _mm256_load_si256(reinterpret_cast<const __m256i*>(e)),
            _mm256_set1_epi32(static_cast<int32_t>(eight / c.rate)),
            _mm256_set1_epi32(static_cast<int32_t>(eight % c.rate)), _mm256_set1_epi32(c.rate)};
}

__attribute__((target("avx2"))) inline void AdvanceLanes(LaneCursor& l) {
    l.k = _mm256_add_epi32(l.k, l.whole8);
    l.e = _mm256_sub_epi32(l.e, l.part8);
    __m256i borrow = _mm256_srai_epi32(l.e, 31);
    l.k = _mm256_sub_epi32(l.k, borrow);
    l.e = _mm256_add_epi32(l.e, _mm256_and_si256(borrow, l.rate));
}

__attribute__((target("avx2"))) inline void EndLanes(const LaneCursor& l, MixCursor& c) {
    c.k = _mm256_cvtsi256_si32(l.k);
    c.e = _mm256_cvtsi256_si32(l.e);
}

// (s x w) >> 16 in every 16-bit lane, s signed and w unsigned: the signed high product, which
// takes w as w - 65536 when its top bit is set, corrected by adding s there.
__attribute__((target("avx2"))) inline __m256i MulHighSignedUnsigned(__m256i s, __m256i w) {
    return _mm256_add_epi16(_mm256_mulhi_epi16(s, w),
                            _mm256_and_si256(s, _mm256_srai_epi16(w, 15)));
}

// Adds 8 frames (left in the low, right in the high 16 bits of each lane) with saturation.
__attribute__((target("avx2"))) inline void AddFrames(int16_t* out, __m256i frames) {
    auto* p = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(p, _mm256_adds_epi16(_mm256_loadu_si256(p), frames));
}

__attribute__((target("avx2"))) int32_t MonoAvx2(const MixWeights& weights, const uint8_t* data,
                                                 MixCursor& c, const int32_t* levels, int16_t* out,
                                                 int32_t frames) {
    const int32_t passes = frames / 8;
    if (passes == 0) {
        return 0;
    }
    LaneCursor l = StartLanes(c);
    const int* source = reinterpret_cast<const int*>(data);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    for (int32_t p = 0; p < passes; ++p) {
        __m256i w = Weights8(weights, l.e);
        // Per lane: s[k], s[k + 1] against w, 65535 - w; a + b kept as 16 bits in the low half.
        __m256i pair = _mm256_i32gather_epi32(source, l.k, 2);
        __m256i weightPair = _mm256_or_si256(w, _mm256_slli_epi32(_mm256_xor_si256(w, low16), 16));
        __m256i ab = MulHighSignedUnsigned(pair, weightPair);
        __m256i value = _mm256_add_epi16(ab, _mm256_srli_epi32(ab, 16));
        // The level's low 16 bits: the level taken as a signed 16-bit number.
        __m256i level = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + 8 * p));
        __m256i v = _mm256_slli_epi32(_mm256_mulhi_epi16(value, level), 16);
        AddFrames(out + 16 * p, _mm256_or_si256(v, _mm256_srli_epi32(v, 16)));
        AdvanceLanes(l);
    }
    EndLanes(l, c);
    return passes * 8;
}

__attribute__((target("avx2"))) int32_t StereoAvx2(const MixWeights& weights, const uint8_t* data,
                                                   MixCursor& c, const int32_t* levels, int32_t pan,
                                                   int16_t* out, int32_t frames) {
    const int32_t passes = frames / 8;
    if (passes == 0) {
        return 0;
    }
    LaneCursor l = StartLanes(c);
    const auto* frames64 = reinterpret_cast<const long long*>(data);
    const __m256i evenDwords = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i panL = _mm256_set1_epi32(pan);
    const __m256i panR = _mm256_set1_epi32(255 - pan);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    for (int32_t p = 0; p < passes; ++p) {
        __m256i w = Weights8(weights, l.e);
        // Frames k and k + 1 of each lane in one 64-bit read: left, right, left, right.
        __m256i a = _mm256_permutevar8x32_epi32(
            _mm256_i32gather_epi64(frames64, _mm256_castsi256_si128(l.k), 4), evenDwords);
        __m256i b = _mm256_permutevar8x32_epi32(
            _mm256_i32gather_epi64(frames64, _mm256_extracti128_si256(l.k, 1), 4), evenDwords);
        __m256i s0 = _mm256_permute2x128_si256(a, b, 0x20); // left, right of frame k
        __m256i s1 = _mm256_permute2x128_si256(a, b, 0x31); // left, right of frame k + 1
        // Both channels at once in 16-bit lanes, each sum kept as 16 bits.
        __m256i w2 = _mm256_or_si256(w, _mm256_slli_epi32(w, 16));
        __m256i v = _mm256_add_epi16(
            MulHighSignedUnsigned(s0, w2),
            MulHighSignedUnsigned(s1, _mm256_xor_si256(w2, _mm256_set1_epi32(-1))));
        __m256i level = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(levels + 8 * p));
        __m256i gainL = level, gainR = level;
        if (pan < 128) {
            gainL = _mm256_srai_epi32(_mm256_mullo_epi32(level, panL), 7);
        }
        if (pan > 128) {
            gainR = _mm256_srai_epi32(_mm256_mullo_epi32(level, panR), 7);
        }
        // Levels never exceed the peak (at most 32767), so the gains fit 16 bits and
        // (v x gain) >> 16 is the signed high product.
        __m256i gains =
            _mm256_or_si256(_mm256_and_si256(gainL, low16), _mm256_slli_epi32(gainR, 16));
        AddFrames(out + 16 * p, _mm256_mulhi_epi16(v, gains));
        AdvanceLanes(l);
    }
    EndLanes(l, c);
    return passes * 8;
}

// Eight ramp steps at a time: lane i holds the state after step i of each group of eight and
// advances by eight steps' worth per pass, the same arithmetic as one step.
__attribute__((target("avx2"))) int32_t RampAvx2(MixRamp& r, int32_t* levels, int32_t count) {
    if (count < 16) {
        return 0;
    }
    const int32_t whole = r.peak / r.span;
    const int32_t part = r.peak % r.span;
    alignas(32) int32_t level[8], acc[8];
    for (int i = 0; i < 8; ++i) {
        RampStep(r, whole, part);
        levels[i] = level[i] = r.level;
        acc[i] = r.acc;
    }
    const int32_t eight = 8 * r.peak;
    const __m256i whole8 = _mm256_set1_epi32(r.direction * (eight / r.span));
    const __m256i part8 = _mm256_set1_epi32(eight % r.span);
    const __m256i span = _mm256_set1_epi32(r.span);
    const __m256i direction = _mm256_set1_epi32(r.direction);
    __m256i l = _mm256_load_si256(reinterpret_cast<const __m256i*>(level));
    __m256i a = _mm256_load_si256(reinterpret_cast<const __m256i*>(acc));
    int32_t i = 8;
    for (; i + 8 <= count; i += 8) {
        l = _mm256_add_epi32(l, whole8);
        a = _mm256_sub_epi32(a, part8);
        __m256i borrow = _mm256_srai_epi32(a, 31);
        l = _mm256_sub_epi32(l, _mm256_sign_epi32(borrow, direction));
        a = _mm256_add_epi32(a, _mm256_and_si256(borrow, span));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(levels + i), l);
    }
    // Lane 7 holds the state after the last step written.
    _mm256_store_si256(reinterpret_cast<__m256i*>(level), l);
    _mm256_store_si256(reinterpret_cast<__m256i*>(acc), a);
    r.level = level[7];
    r.acc = acc[7];
    return i;
}

bool HaveAvx2() {
    static const bool have = __builtin_cpu_supports("avx2");
    return have;
}

#endif

} // namespace

MixWeights MakeMixWeights(const int32_t* table, int32_t rate) {
    MixWeights w{table, true, 65536.0 / rate};
    for (int32_t e = 0; e < rate && w.Computable; ++e) {
        w.Computable =
            table[e] == static_cast<int32_t>(static_cast<double>(e) * w.Scale + kWeightBias);
    }
    return w;
}

void RampLevels(MixRamp& r, int32_t* levels, int32_t count) {
    int32_t done = 0;
#ifdef KELLIX_MIX_AVX2
    if (HaveAvx2()) {
        done = RampAvx2(r, levels, count);
    }
#endif
    RampScalar(r, levels + done, count - done);
}

void MixMonoFrames(const MixWeights& weights, const uint8_t* data, MixCursor& c,
                   const int32_t* levels, int16_t* out, int32_t frames) {
    int32_t done = 0;
#ifdef KELLIX_MIX_AVX2
    if (HaveAvx2()) {
        done = MonoAvx2(weights, data, c, levels, out, frames);
    }
#endif
    MonoScalar(weights, data, c, levels + done, out + 2 * done, frames - done);
}

void MixStereoFrames(const MixWeights& weights, const uint8_t* data, MixCursor& c,
                     const int32_t* levels, int32_t pan, int16_t* out, int32_t frames) {
    int32_t done = 0;
#ifdef KELLIX_MIX_AVX2
    if (HaveAvx2()) {
        done = StereoAvx2(weights, data, c, levels, pan, out, frames);
    }
#endif
    StereoScalar(weights, data, c, levels + done, pan, out + 2 * done, frames - done);
}

} // namespace kellix
