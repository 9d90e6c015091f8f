// The 512-bit routines: sixteen output frames at a time, the last few under a mask.
//
// Lane i holds output frame j + i as one number P = t x 65536 + (65535 - W): t is its source
// frame counted from a base frame kept outside the lanes, and W its interpolation weight. W
// comes with the remainder R of the exact division behind it, e x 65536 = W x Rate + R, so that
// a step adds fixed amounts to P and R instead of moving e and looking W up; when W passes zero
// (e wraps), the carry out of the low half moves t on by one frame. Each pass counts t from the
// first lane's frame, so that it is a small index for the permutes below; every so many passes
// the base itself moves up, so that P never overflows.
//
// Source frames: for steps up to about twice (stereo) or four times (mono) the rate, the frames
// that sixteen output frames read lie within 128 bytes, so two loads and a permute replace the
// gather; up to twice that, four loads and two permutes. Near the end of the data, where the
// loads would pass it, and for higher steps, the lanes gather.
#include "audio/mix_kernels_wide.h"

#ifdef KELLIX_WIDE_MIX

#include "audio/vector_target.h"

namespace kellix {

namespace {

struct Lanes {
    __m512i p, r;
    int64_t base; // source frame of t = 0
};

// Moves the lanes in mask m on by s x Step, with i the index of s in the MixSteps lane tables.
KELLIX_AVX512 inline void StepLanes(Lanes& l, __mmask16 m, const MixSteps& s, int i) {
    l.r = _mm512_mask_sub_epi32(l.r, m, l.r, _mm512_set1_epi32(s.LaneRest[i]));
    __mmask16 borrow = _mm512_mask_cmplt_epi32_mask(m, l.r, _mm512_setzero_si512());
    l.r = _mm512_mask_add_epi32(l.r, borrow, l.r, _mm512_set1_epi32(s.rate));
    l.p = _mm512_mask_add_epi32(l.p, m, l.p, _mm512_set1_epi32(s.LaneAdvance[i]));
    l.p = _mm512_mask_add_epi32(l.p, borrow, l.p, _mm512_set1_epi32(1));
}

KELLIX_AVX512 Lanes StartLanes(const MixSteps& s, const MixCursor& c) {
    const int64_t scaled = int64_t{c.e} << 16;
    Lanes l{_mm512_set1_epi32(65535 - static_cast<int32_t>(scaled / s.rate)),
            _mm512_set1_epi32(static_cast<int32_t>(scaled % s.rate)), c.k};
    // Lane i moves on by i frames: 1, 2, 4 and 8 frames where the bits of i say so.
    StepLanes(l, 0xAAAA, s, 0);
    StepLanes(l, 0xCCCC, s, 1);
    StepLanes(l, 0xF0F0, s, 2);
    StepLanes(l, 0xFF00, s, 3);
    return l;
}

// The lanes of one pass, counted from the first lane's source frame, which is base + t0.
struct Pass {
    __m512i p;
    int64_t base;
};

KELLIX_AVX512 inline Pass PassOf(const Lanes& l) {
    int32_t first = _mm_cvtsi128_si32(_mm512_castsi512_si128(l.p));
    return {_mm512_sub_epi32(l.p, _mm512_set1_epi32(first & -65536)), l.base + (first >> 16)};
}

// The cursor of the frame that lane `lane` holds.
KELLIX_AVX512 void EndLanes(const Lanes& l, int32_t lane, const MixSteps& s, MixCursor& c) {
    alignas(64) int32_t p[16], r[16];
    _mm512_store_si512(p, l.p);
    _mm512_store_si512(r, l.r);
    const int64_t w = 65535 - (p[lane] & 0xFFFF);
    c.k = l.base + (p[lane] >> 16);
    c.e = static_cast<int32_t>((w * s.rate + r[lane]) >> 16);
}

// How the source frames of one pass are fetched: from a window of two registers from the
// base, of four registers, or by gathering.
enum class Fetch { Window, WideWindow, Gather };

// Windows of two registers hold 64 samples or 32 stereo frames.
Fetch FetchFor(int32_t span16, int32_t windowFrames) {
    if (span16 < windowFrames) {
        return Fetch::Window;
    }
    return span16 < 2 * windowFrames ? Fetch::WideWindow : Fetch::Gather;
}

// t of every lane in both 16-bit halves (byte 2 of each lane, within each 128 bits).
KELLIX_AVX512 inline __m512i FrameTwice(__m512i p) {
    return _mm512_shuffle_epi8(
        p, _mm512_broadcast_i32x4(
               _mm_setr_epi32(static_cast<int32_t>(0x80028002), static_cast<int32_t>(0x80068006),
                              static_cast<int32_t>(0x800A800A), static_cast<int32_t>(0x800E800E))));
}

// Mono: s[k] in the low and s[k + 1] in the high 16 bits of each lane. The permutes read the
// low six bits of each index; in a wide window the next bit picks the second pair of registers.
template <Fetch F>
KELLIX_AVX512 inline __m512i MonoPairs(const Pass& l, const MixRun& run, __mmask16 active) {
    const uint8_t* data = run.Data + 2 * l.base;
    const int64_t readable = run.Readable - l.base;
    if (F != Fetch::Gather && readable >= (F == Fetch::Window ? 64 : 128)) {
        __m512i index = _mm512_add_epi32(FrameTwice(l.p), _mm512_set1_epi32(0x10000));
        __m512i near = _mm512_permutex2var_epi16(_mm512_loadu_si512(data), index,
                                                 _mm512_loadu_si512(data + 64));
        if (F == Fetch::Window) {
            return near;
        }
        __m512i far = _mm512_permutex2var_epi16(_mm512_loadu_si512(data + 128), index,
                                                _mm512_loadu_si512(data + 192));
        return _mm512_mask_blend_epi16(_mm512_test_epi16_mask(index, _mm512_set1_epi16(64)), near,
                                       far);
    }
    return _mm512_mask_i32gather_epi32(_mm512_setzero_si512(), active, _mm512_srli_epi32(l.p, 16),
                                       data, 2);
}

// Stereo: frame k (left, right) in s0 and frame k + 1 in s1.
template <Fetch F>
KELLIX_AVX512 inline void StereoFrames(const Pass& l, const MixRun& run, __mmask16 active,
                                       __m512i& s0, __m512i& s1) {
    const __m512i one = _mm512_set1_epi32(1);
    const uint8_t* data = run.Data + 4 * l.base;
    const int64_t readable = run.Readable - l.base;
    const __m512i t = _mm512_srli_epi32(l.p, 16);
    const __m512i t1 = _mm512_add_epi32(t, one);
    if (F != Fetch::Gather && readable >= (F == Fetch::Window ? 32 : 64)) {
        __m512i a = _mm512_loadu_si512(data), b = _mm512_loadu_si512(data + 64);
        s0 = _mm512_permutex2var_epi32(a, t, b);
        s1 = _mm512_permutex2var_epi32(a, t1, b);
        if (F == Fetch::WideWindow) {
            __m512i c = _mm512_loadu_si512(data + 128), d = _mm512_loadu_si512(data + 192);
            const __m512i second = _mm512_set1_epi32(32);
            s0 = _mm512_mask_blend_epi32(_mm512_test_epi32_mask(t, second), s0,
                                         _mm512_permutex2var_epi32(c, t, d));
            s1 = _mm512_mask_blend_epi32(_mm512_test_epi32_mask(t1, second), s1,
                                         _mm512_permutex2var_epi32(c, t1, d));
        }
        return;
    }
    // Frames k and k + 1 in one 64-bit read per lane, then the even and odd halves apart.
    const __m512i zero = _mm512_setzero_si512();
    __m512i q0 = _mm512_mask_i32gather_epi64(zero, static_cast<__mmask8>(active),
                                             _mm512_castsi512_si256(t), data, 4);
    __m512i q1 = _mm512_mask_i32gather_epi64(zero, static_cast<__mmask8>(active >> 8),
                                             _mm512_extracti64x4_epi64(t, 1), data, 4);
    const __m512i even =
        _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
    s0 = _mm512_permutex2var_epi32(q0, even, q1);
    s1 = _mm512_permutex2var_epi32(q0, _mm512_add_epi32(even, one), q1);
}

// Adds sixteen frames (left in the low, right in the high 16 bits of each lane) with
// saturation; a partial pass touches only the active frames.
template <bool Full>
KELLIX_AVX512 inline void AddFrames(int16_t* out, __mmask16 active, __m512i frames) {
    if (Full) {
        _mm512_storeu_si512(out, _mm512_adds_epi16(_mm512_loadu_si512(out), frames));
    } else {
        __m512i sum = _mm512_adds_epi16(_mm512_maskz_loadu_epi32(active, out), frames);
        _mm512_mask_storeu_epi32(out, active, sum);
    }
}

template <bool Full>
KELLIX_AVX512 inline __m512i LoadLevels(const int32_t* levels, __mmask16 active) {
    return Full ? _mm512_loadu_si512(levels) : _mm512_maskz_loadu_epi32(active, levels);
}

// In each 16-bit half, (s x w) >> 16 with s signed and w unsigned is the signed high product,
// which takes w as w - 65536 when its top bit is set, corrected by adding s there.

template <Fetch F, bool Constant, bool Full>
KELLIX_AVX512 inline void MonoPass(const MixRun& run, const Pass& l, int32_t j, __mmask16 active,
                                   __m512i constantLevel) {
    __m512i pairs = MonoPairs<F>(l, run, active);
    // W in the low and 65535 - W in the high half: ~P in the low half, P shifted up.
    __m512i weights =
        _mm512_ternarylogic_epi32(l.p, _mm512_slli_epi32(l.p, 16), _mm512_set1_epi32(0xFFFF), 0x4E);
    __m512i ab = _mm512_add_epi16(_mm512_mulhi_epi16(pairs, weights),
                                  _mm512_and_si512(pairs, _mm512_srai_epi16(weights, 15)));
    // a + b in both halves, for both channels.
    __m512i value = _mm512_add_epi16(ab, _mm512_rol_epi32(ab, 16));
    // The level's low 16 bits, the level taken as a signed 16-bit number, in both halves.
    __m512i level = Constant
                        ? constantLevel
                        : _mm512_shuffle_epi8(LoadLevels<Full>(run.Levels + j, active),
                                              _mm512_broadcast_i32x4(_mm_setr_epi32(
                                                  0x01000100, 0x05040504, 0x09080908, 0x0D0C0D0C)));
    AddFrames<Full>(run.Out + 2 * j, active, _mm512_mulhi_epi16(value, level));
}

// Left gains in the low and right gains in the high 16 bits of each lane. Levels never exceed
// the peak (at most 32767), so the gains fit 16 bits and level x pan is one 16-bit product.
KELLIX_AVX512 inline __m512i Gains(__m512i level, int32_t pan) {
    __m512i gainL = level, gainR = level;
    if (pan < 128) {
        gainL = _mm512_srai_epi32(_mm512_madd_epi16(level, _mm512_set1_epi32(pan)), 7);
    }
    if (pan > 128) {
        gainR = _mm512_srai_epi32(_mm512_madd_epi16(level, _mm512_set1_epi32(255 - pan)), 7);
    }
    // (gainR << 16) | (gainL & 0xFFFF)
    return _mm512_ternarylogic_epi32(_mm512_slli_epi32(gainR, 16), gainL, _mm512_set1_epi32(0xFFFF),
                                     0xF8);
}

template <Fetch F, bool Constant, bool Full>
KELLIX_AVX512 inline void StereoPass(const MixRun& run, const Pass& l, int32_t j, __mmask16 active,
                                     __m512i constantGains) {
    __m512i s0, s1;
    StereoFrames<F>(l, run, active, s0, s1);
    // 65535 - W (the low half of P) and W in both halves; the high-product corrections of the
    // two terms select s0 where W has its top bit and s1 where 65535 - W has it.
    const __m512i lowTwice =
        _mm512_broadcast_i32x4(_mm_setr_epi32(0x01000100, 0x05040504, 0x09080908, 0x0D0C0D0C));
    __m512i rest2 = _mm512_shuffle_epi8(l.p, lowTwice);
    __m512i w2 = _mm512_xor_si512(rest2, _mm512_set1_epi32(-1));
    __m512i top = _mm512_srai_epi16(w2, 15);
    __m512i v = _mm512_add_epi16(
        _mm512_add_epi16(_mm512_mulhi_epi16(s0, w2), _mm512_mulhi_epi16(s1, rest2)),
        _mm512_ternarylogic_epi32(top, s0, s1, 0xCA));
    __m512i gains =
        Constant ? constantGains : Gains(LoadLevels<Full>(run.Levels + j, active), run.Pan);
    // (v x gain) >> 16 is the signed high product.
    AddFrames<Full>(run.Out + 2 * j, active, _mm512_mulhi_epi16(v, gains));
}

template <bool Stereo, Fetch F, bool Constant>
KELLIX_AVX512 int32_t Mix(const MixRun& shared, MixCursor& c) {
    // A copy the output stores cannot alias, so that its fields stay in registers.
    const MixRun run = shared;
    const MixSteps& s = *run.Steps;
    const __m512i constant = Stereo ? Gains(_mm512_set1_epi32(run.Level), run.Pan)
                                    : _mm512_set1_epi32((run.Level & 0xFFFF) * 0x10001);
    Lanes l = StartLanes(s, c);
    const __m512i rest16 = _mm512_set1_epi32(s.LaneRest[4]);
    const __m512i advance16 = _mm512_set1_epi32(s.LaneAdvance[4]);
    const __m512i rate = _mm512_set1_epi32(s.rate);
    const int32_t frames = run.Frames;
    int32_t sinceRebase = 0;
    int32_t j = 0;
    for (; j + 16 <= frames; j += 16) {
        const Pass pass = PassOf(l);
        if (Stereo) {
            StereoPass<F, Constant, true>(run, pass, j, 0xFFFF, constant);
        } else {
            MonoPass<F, Constant, true>(run, pass, j, 0xFFFF, constant);
        }
        // Sixteen frames on: the same arithmetic as one step, with the sixteen-frame amounts.
        l.r = _mm512_sub_epi32(l.r, rest16);
        __m512i borrow = _mm512_srai_epi32(l.r, 31);
        l.r = _mm512_add_epi32(l.r, _mm512_and_si512(borrow, rate));
        l.p = _mm512_sub_epi32(_mm512_add_epi32(l.p, advance16), borrow);
        if (++sinceRebase == s.RebaseEvery) {
            const Pass moved = PassOf(l);
            l.p = moved.p;
            l.base = moved.base;
            sinceRebase = 0;
        }
    }
    const int32_t left = frames - j;
    if (left > 0) {
        const __mmask16 active = static_cast<__mmask16>((1u << left) - 1);
        if (Stereo) {
            StereoPass<F, Constant, false>(run, PassOf(l), j, active, constant);
        } else {
            MonoPass<F, Constant, false>(run, PassOf(l), j, active, constant);
        }
    }
    EndLanes(l, left, s, c);
    return frames;
}

template <bool Stereo, Fetch F> int32_t MixLevels(const MixRun& run, MixCursor& c) {
    return run.Levels ? Mix<Stereo, F, false>(run, c) : Mix<Stereo, F, true>(run, c);
}

template <bool Stereo> int32_t MixFetch(const MixRun& run, MixCursor& c) {
    const MixSteps& s = *run.Steps;
    if (run.Frames <= 0 || !s.Lanes) {
        return 0;
    }
    switch (FetchFor(s.Span16, Stereo ? 32 : 64)) {
    case Fetch::Window:
        return MixLevels<Stereo, Fetch::Window>(run, c);
    case Fetch::WideWindow:
        return MixLevels<Stereo, Fetch::WideWindow>(run, c);
    case Fetch::Gather:
        break;
    }
    return MixLevels<Stereo, Fetch::Gather>(run, c);
}

} // namespace

int32_t MonoAvx512(const MixRun& run, MixCursor& c) {
    return MixFetch<false>(run, c);
}

int32_t StereoAvx512(const MixRun& run, MixCursor& c) {
    return MixFetch<true>(run, c);
}

// Thirty-two ramp steps at a time in two vectors: lane i of the first holds the state after
// step i of each group of thirty-two, of the second after step 16 + i, and both move on by
// thirty-two steps' worth per pass, the same arithmetic as one step.
KELLIX_AVX512 int32_t RampAvx512(MixRamp& r, int32_t* levels, int32_t count) {
    if (count < 64) {
        return 0;
    }
    const int32_t whole = r.peak / r.span;
    const int32_t part = r.peak % r.span;
    alignas(64) int32_t level[32], acc[32];
    for (int i = 0; i < 32; ++i) {
        r.Step(whole, part);
        levels[i] = level[i] = r.level;
        acc[i] = r.acc;
    }
    const int64_t steps = int64_t{32} * r.peak;
    const __m512i whole32 = _mm512_set1_epi32(r.direction * static_cast<int32_t>(steps / r.span));
    const __m512i part32 = _mm512_set1_epi32(static_cast<int32_t>(steps % r.span));
    const __m512i span = _mm512_set1_epi32(r.span);
    // The level moves by the direction for each span added back: borrow is -1 or 0, so the
    // level takes borrow away when rising and adds it when falling.
    const __m512i flip = _mm512_set1_epi32(r.direction < 0 ? -1 : 0);
    __m512i l0 = _mm512_load_si512(level), l1 = _mm512_load_si512(level + 16);
    __m512i a0 = _mm512_load_si512(acc), a1 = _mm512_load_si512(acc + 16);
    int32_t i = 32;
    for (; i + 32 <= count; i += 32) {
        a0 = _mm512_sub_epi32(a0, part32);
        a1 = _mm512_sub_epi32(a1, part32);
        __m512i b0 = _mm512_srai_epi32(a0, 31), b1 = _mm512_srai_epi32(a1, 31);
        a0 = _mm512_add_epi32(a0, _mm512_and_si512(b0, span));
        a1 = _mm512_add_epi32(a1, _mm512_and_si512(b1, span));
        // level - direction x borrow = level + whole - (borrow ^ flip) + flip
        l0 = _mm512_sub_epi32(_mm512_add_epi32(l0, whole32), _mm512_xor_si512(b0, flip));
        l1 = _mm512_sub_epi32(_mm512_add_epi32(l1, whole32), _mm512_xor_si512(b1, flip));
        l0 = _mm512_add_epi32(l0, flip);
        l1 = _mm512_add_epi32(l1, flip);
        _mm512_storeu_si512(levels + i, l0);
        _mm512_storeu_si512(levels + i + 16, l1);
    }
    // Lane 15 of the second vector holds the state after the last step written.
    _mm512_store_si512(level + 16, l1);
    _mm512_store_si512(acc + 16, a1);
    r.level = level[31];
    r.acc = acc[31];
    return i;
}

} // namespace kellix

#endif
