// The 256-bit routines: eight output frames at a time.
#include "audio/mix_kernels_wide.h"

#ifdef KELLIX_WIDE_MIX

#include "audio/vector_target.h"

namespace kellix {

namespace {

// Each lane carries its own (k, e), advanced by eight frames' worth of Step per pass, so the
// lanes stay exactly on the scalar sequence.
struct LaneCursor {
    __m256i k, e, whole8, part8, rate;
};

// W[e] computed as truncate(e x scale + bias) in double precision, four lanes at a time;
// used only where a check over every e showed that it reproduces the table.
KELLIX_AVX2 inline __m256i ComputedWeights(__m256i e, double scale) {
    const __m256d s = _mm256_set1_pd(scale);
    const __m256d bias = _mm256_set1_pd(kWeightBias);
    __m256d lo =
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(e)), s), bias);
    __m256d hi =
        _mm256_add_pd(_mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(e, 1)), s), bias);
    return _mm256_set_m128i(_mm256_cvttpd_epi32(hi), _mm256_cvttpd_epi32(lo));
}

KELLIX_AVX2 inline __m256i Weights8(const MixWeights& w, __m256i e) {
    return w.Computable ? ComputedWeights(e, w.Scale) : _mm256_i32gather_epi32(w.Table, e, 4);
}

KELLIX_AVX2 LaneCursor StartLanes(const MixSteps& s, const MixCursor& c) {
    alignas(32) int32_t k[8], e[8];
    MixCursor t = c;
    for (int i = 0; i < 8; ++i) {
        k[i] = static_cast<int32_t>(t.k);
        e[i] = t.e;
        t.Advance(s);
    }
    return {_mm256_load_si256(reinterpret_cast<const __m256i*>(k)),
            _mm256_load_si256(reinterpret_cast<const __m256i*>(e)),
            _mm256_set1_epi32(s.LaneWhole[3]), _mm256_set1_epi32(s.LanePart[3]),
            _mm256_set1_epi32(s.rate)};
}

KELLIX_AVX2 inline void AdvanceLanes(LaneCursor& l) {
    l.k = _mm256_add_epi32(l.k, l.whole8);
    l.e = _mm256_sub_epi32(l.e, l.part8);
    __m256i borrow = _mm256_srai_epi32(l.e, 31);
    l.k = _mm256_sub_epi32(l.k, borrow);
    l.e = _mm256_add_epi32(l.e, _mm256_and_si256(borrow, l.rate));
}

KELLIX_AVX2 inline void EndLanes(const LaneCursor& l, MixCursor& c) {
    c.k = _mm256_cvtsi256_si32(l.k);
    c.e = _mm256_cvtsi256_si32(l.e);
}

// (s x w) >> 16 in every 16-bit lane, s signed and w unsigned: the signed high product, which
// takes w as w - 65536 when its top bit is set, corrected by adding s there.
KELLIX_AVX2 inline __m256i MulHighSignedUnsigned(__m256i s, __m256i w) {
    return _mm256_add_epi16(_mm256_mulhi_epi16(s, w),
                            _mm256_and_si256(s, _mm256_srai_epi16(w, 15)));
}

// Adds 8 frames (left in the low, right in the high 16 bits of each lane) with saturation.
KELLIX_AVX2 inline void AddFrames(int16_t* out, __m256i frames) {
    auto* p = reinterpret_cast<__m256i*>(out);
    _mm256_storeu_si256(p, _mm256_adds_epi16(_mm256_loadu_si256(p), frames));
}

template <bool Constant>
KELLIX_AVX2 int32_t Mono(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    const int32_t passes = run.Frames / 8;
    if (passes == 0 || !run.Steps->Lanes) {
        return 0;
    }
    LaneCursor l = StartLanes(*run.Steps, c);
    const int* source = reinterpret_cast<const int*>(run.Data);
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    const __m256i constantLevel = _mm256_set1_epi32(run.Level);
    for (int32_t p = 0; p < passes; ++p) {
        __m256i w = Weights8(weights, l.e);
        // Per lane: s[k], s[k + 1] against w, 65535 - w; a + b kept as 16 bits in the low half.
        __m256i pair = _mm256_i32gather_epi32(source, l.k, 2);
        __m256i weightPair = _mm256_or_si256(w, _mm256_slli_epi32(_mm256_xor_si256(w, low16), 16));
        __m256i ab = MulHighSignedUnsigned(pair, weightPair);
        __m256i value = _mm256_add_epi16(ab, _mm256_srli_epi32(ab, 16));
        // The level's low 16 bits: the level taken as a signed 16-bit number.
        __m256i level =
            Constant ? constantLevel
                     : _mm256_loadu_si256(reinterpret_cast<const __m256i*>(run.Levels + 8 * p));
        __m256i v = _mm256_slli_epi32(_mm256_mulhi_epi16(value, level), 16);
        AddFrames(run.Out + 16 * p, _mm256_or_si256(v, _mm256_srli_epi32(v, 16)));
        AdvanceLanes(l);
    }
    EndLanes(l, c);
    return passes * 8;
}

// Left gains in the low and right gains in the high 16 bits of each lane. Levels never exceed
// the peak (at most 32767), so the gains fit 16 bits.
KELLIX_AVX2 inline __m256i Gains(__m256i level, int32_t pan) {
    const __m256i low16 = _mm256_set1_epi32(0xFFFF);
    __m256i gainL = level, gainR = level;
    if (pan < 128) {
        gainL = _mm256_srai_epi32(_mm256_mullo_epi32(level, _mm256_set1_epi32(pan)), 7);
    }
    if (pan > 128) {
        gainR = _mm256_srai_epi32(_mm256_mullo_epi32(level, _mm256_set1_epi32(255 - pan)), 7);
    }
    return _mm256_or_si256(_mm256_and_si256(gainL, low16), _mm256_slli_epi32(gainR, 16));
}

template <bool Constant>
KELLIX_AVX2 int32_t Stereo(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    const int32_t passes = run.Frames / 8;
    if (passes == 0 || !run.Steps->Lanes) {
        return 0;
    }
    LaneCursor l = StartLanes(*run.Steps, c);
    const auto* frames64 = reinterpret_cast<const long long*>(run.Data);
    const __m256i evenDwords = _mm256_setr_epi32(0, 2, 4, 6, 1, 3, 5, 7);
    const __m256i constantGains = Gains(_mm256_set1_epi32(run.Level), run.Pan);
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
        __m256i gains =
            Constant
                ? constantGains
                : Gains(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(run.Levels + 8 * p)),
                        run.Pan);
        // (v x gain) >> 16 is the signed high product.
        AddFrames(run.Out + 16 * p, _mm256_mulhi_epi16(v, gains));
        AdvanceLanes(l);
    }
    EndLanes(l, c);
    return passes * 8;
}

} // namespace

int32_t MonoAvx2(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    return run.Levels ? Mono<false>(weights, run, c) : Mono<true>(weights, run, c);
}

int32_t StereoAvx2(const MixWeights& weights, const MixRun& run, MixCursor& c) {
    return run.Levels ? Stereo<false>(weights, run, c) : Stereo<true>(weights, run, c);
}

// Eight ramp steps at a time: lane i holds the state after step i of each group of eight and
// advances by eight steps' worth per pass, the same arithmetic as one step.
KELLIX_AVX2 int32_t RampAvx2(MixRamp& r, int32_t* levels, int32_t count) {
    if (count < 16) {
        return 0;
    }
    const int32_t whole = r.peak / r.span;
    const int32_t part = r.peak % r.span;
    alignas(32) int32_t level[8], acc[8];
    for (int i = 0; i < 8; ++i) {
        r.Step(whole, part);
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

} // namespace kellix

#endif
