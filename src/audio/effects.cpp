#include "audio/effects.h"

#include "audio/mix_kernels.h"
#include "audio/mixer.h"
#include "audio/vector_target.h"

#include <algorithm>

namespace kellix {

namespace {

int32_t Clamp16Echo(int64_t v) {
    return static_cast<int32_t>(std::clamp<int64_t>(v, -32767, 32766));
}

} // namespace

void SetStereoDelay(MasterEffects& effects, int32_t decayL, int32_t decayR, int32_t delayL,
                    int32_t delayR) {
    effects.Delay = {decayL, decayR, std::clamp(delayL, 0, kMaxEffectDelay),
                     std::clamp(delayR, 0, kMaxEffectDelay)};
}

void SetReverb(MasterEffects& effects, int32_t amplitude, int32_t spare, int32_t step, int32_t band,
               int32_t cutoff) {
    effects.Reverb = {amplitude, spare, std::min(step, 10000), band, std::clamp(cutoff, 1, 256)};
}

MasterEffects StartupEffects() {
    MasterEffects effects{};
    SetReverb(effects, 4000, 20000, 10400, 256, 256);
    SetStereoDelay(effects, 9980, 8191, 10584, 15876);
    return effects;
}

MasterEffects EffectsOf(const TEffects& song) {
    MasterEffects effects{};
    SetStereoDelay(effects, song.DecayL, song.DecayR, song.DelayL, song.DelayR);
    SetReverb(effects, song.Amplitude, 20000, song.Step, song.Cutoff, 256);
    effects.ReverbOn = song.Reverb != 0;
    return effects;
}

namespace {

struct DelayRun {
    int16_t* out;   // the ring at the run's first frame
    int16_t* echo;  // the echo memory at the run's first frame
    int16_t* echoL; // where the left output is fed back
    int16_t* echoR; // where the right output is fed back
    int32_t decayL, decayR;
};

// y = clamp(x + echo x decay / 32768), written to the ring and fed back through the echo memory.
void DelayScalar(const DelayRun& r, int32_t from, int32_t count) {
    for (int32_t i = from; i < from + count; ++i) {
        int32_t yL = Clamp16Echo(r.out[2 * i] + ((int64_t{r.echo[2 * i]} * r.decayL) >> 15));
        r.out[2 * i] = static_cast<int16_t>(yL);
        r.echoL[2 * i] = static_cast<int16_t>(yL);
        int32_t yR =
            Clamp16Echo(r.out[2 * i + 1] + ((int64_t{r.echo[2 * i + 1]} * r.decayR) >> 15));
        r.out[2 * i + 1] = static_cast<int16_t>(yR);
        r.echoR[2 * i + 1] = static_cast<int16_t>(yR);
    }
}

#if defined(__x86_64__)
// Four frames of one 128-bit half: clamp(x + echo x decay >> 15) as 32-bit lanes.
KELLIX_AVX2 inline __m256i DelayHalf(__m128i x, __m128i e, __m256i decay, __m256i lo, __m256i hi) {
    __m256i echoed = _mm256_srai_epi32(_mm256_mullo_epi32(_mm256_cvtepi16_epi32(e), decay), 15);
    __m256i y = _mm256_add_epi32(_mm256_cvtepi16_epi32(x), echoed);
    return _mm256_min_epi32(_mm256_max_epi32(y, lo), hi);
}

// Eight frames at a time. Only used where no frame reads an echo that an earlier frame of the
// same eight writes (delays of 0 or at least 8) and where the products fit 32 bits.
KELLIX_AVX2 int32_t DelayAvx2(const DelayRun& r, int32_t count) {
    const __m256i decay = _mm256_setr_epi32(r.decayL, r.decayR, r.decayL, r.decayR, r.decayL,
                                            r.decayR, r.decayL, r.decayR);
    const __m256i lo = _mm256_set1_epi32(-32767), hi = _mm256_set1_epi32(32766);
    int32_t i = 0;
    for (; i + 8 <= count; i += 8) {
        __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.out + 2 * i));
        __m256i e = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.echo + 2 * i));
        __m256i y0 = DelayHalf(_mm256_castsi256_si128(x), _mm256_castsi256_si128(e), decay, lo, hi);
        __m256i y1 = DelayHalf(_mm256_extracti128_si256(x, 1), _mm256_extracti128_si256(e, 1),
                               decay, lo, hi);
        __m256i y = _mm256_permute4x64_epi64(_mm256_packs_epi32(y0, y1), 0xD8);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(r.out + 2 * i), y);
        auto* left = reinterpret_cast<__m256i*>(r.echoL + 2 * i);
        _mm256_storeu_si256(left, _mm256_blend_epi16(_mm256_loadu_si256(left), y, 0x55));
        auto* right = reinterpret_cast<__m256i*>(r.echoR + 2 * i);
        _mm256_storeu_si256(right, _mm256_blend_epi16(_mm256_loadu_si256(right), y, 0xAA));
    }
    return i;
}

// Sixteen frames of one 256-bit half: clamp(x + echo x decay >> 15) as 32-bit lanes.
KELLIX_AVX512 inline __m512i DelayHalf512(__m256i x, __m256i e, __m512i decay, __m512i lo,
                                          __m512i hi) {
    __m512i echoed = _mm512_srai_epi32(_mm512_mullo_epi32(_mm512_cvtepi16_epi32(e), decay), 15);
    __m512i y = _mm512_add_epi32(_mm512_cvtepi16_epi32(x), echoed);
    return _mm512_min_epi32(_mm512_max_epi32(y, lo), hi);
}

// Sixteen frames at a time, under the same conditions as DelayAvx2 with 16 for 8.
KELLIX_AVX512 int32_t DelayAvx512(const DelayRun& r, int32_t count) {
    const __m512i decay = _mm512_set_epi32(
        r.decayR, r.decayL, r.decayR, r.decayL, r.decayR, r.decayL, r.decayR, r.decayL, r.decayR,
        r.decayL, r.decayR, r.decayL, r.decayR, r.decayL, r.decayR, r.decayL);
    const __m512i lo = _mm512_set1_epi32(-32767), hi = _mm512_set1_epi32(32766);
    // packs works within 128-bit lanes: put the eight 64-bit pieces back in order.
    const __m512i order = _mm512_setr_epi64(0, 2, 4, 6, 1, 3, 5, 7);
    int32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        __m512i x = _mm512_loadu_si512(r.out + 2 * i);
        __m512i e = _mm512_loadu_si512(r.echo + 2 * i);
        __m512i y0 =
            DelayHalf512(_mm512_castsi512_si256(x), _mm512_castsi512_si256(e), decay, lo, hi);
        __m512i y1 = DelayHalf512(_mm512_extracti64x4_epi64(x, 1), _mm512_extracti64x4_epi64(e, 1),
                                  decay, lo, hi);
        __m512i y = _mm512_permutexvar_epi64(order, _mm512_packs_epi32(y0, y1));
        _mm512_storeu_si512(r.out + 2 * i, y);
        _mm512_mask_storeu_epi16(r.echoL + 2 * i, 0x55555555, y);
        _mm512_mask_storeu_epi16(r.echoR + 2 * i, 0xAAAAAAAA, y);
    }
    return i;
}

// The vector routines need delays of 0 or at least their width in frames, so that no frame
// reads an echo that an earlier frame of the same pass writes, and products that fit 32 bits.
int32_t VectorDelayWidth(int32_t delayL, int32_t delayR, int32_t decayL, int32_t decayR) {
    const MixTier tier = CurrentMixTier();
    const int32_t width = tier == MixTier::Avx512 ? 16 : tier == MixTier::Avx2 ? 8 : 0;
    auto delayOk = [&](int32_t d) { return d == 0 || d >= width; };
    auto decayOk = [](int32_t g) { return g >= -65535 && g <= 65535; };
    if (width && delayOk(delayL) && delayOk(delayR) && decayOk(decayL) && decayOk(decayR)) {
        return width;
    }
    return 0;
}
#endif

} // namespace

void ApplyStereoDelay(SoundBuffer* mixer, uint8_t* ring, int32_t n) {
    const StereoDelaySettings& s = mixer->Effects.Delay;
    const int32_t frames = mixer->Size / 4;
    // The echo memory holds one second of this mixer's rate.
    const int32_t delayL = std::min(s.DelayL, frames - 1);
    const int32_t delayR = std::min(s.DelayR, frames - 1);
    auto* out = reinterpret_cast<int16_t*>(ring);
    auto* echo = reinterpret_cast<int16_t*>(mixer->EchoBuffer);
    int32_t d = mixer->WritePos / 4;
    int32_t wL = (d + delayL) % frames;
    int32_t wR = (d + delayR) % frames;
    // Runs in which neither the read nor the two write positions wrap around the ring.
    while (n > 0) {
        int32_t run = std::min({n, frames - d, frames - wL, frames - wR});
        DelayRun r{out + 2 * d, echo + 2 * d, echo + 2 * wL, echo + 2 * wR, s.DecayL, s.DecayR};
        int32_t done = 0;
#if defined(__x86_64__)
        switch (VectorDelayWidth(delayL, delayR, s.DecayL, s.DecayR)) {
        case 16:
            done = DelayAvx512(r, run);
            break;
        case 8:
            done = DelayAvx2(r, run);
            break;
        }
#endif
        DelayScalar(r, done, run - done);
        d = (d + run) % frames;
        wL = (wL + run) % frames;
        wR = (wR + run) % frames;
        n -= run;
    }
}

} // namespace kellix
