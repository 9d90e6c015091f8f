#pragma once

#include <cstdint>

namespace kellix {

// The resampler's source position: whole frame k and error term e in [0, Rate), advanced per
// output frame by e -= Step; while e < 0 { k++; e += Rate } (done here without the loop).
struct MixCursor {
    int64_t k;
    int32_t e;
    int32_t whole; // Step / Rate
    int32_t part;  // Step % Rate
    int32_t rate;
    int32_t step;
    void Advance() {
        k += whole;
        e -= part;
        int32_t borrow = e >> 31; // -1 when e went negative
        k -= borrow;
        e += borrow & rate;
    }
};

// The interpolation weights W[e] = truncate(e / Rate x 65536), e < Rate. Where every entry
// equals truncate(e x Scale + kWeightBias) in double precision (true at 44100 frames per
// second), the vector routines compute weights instead of looking them up.
struct MixWeights {
    const int32_t* Table;
    bool Computable;
    double Scale;
};
constexpr double kWeightBias = 1.0 / (1 << 20);
MixWeights MakeMixWeights(const int32_t* table, int32_t rate);

// Mix frames output frames of a voice into out (interleaved stereo, saturating adds).
// data points at the voice's first source frame; weights is the interpolation table.
// Mono: levels[j] is the envelope level used for frame j, taken as a signed 16-bit number.
void MixMonoFrames(const MixWeights& weights, const uint8_t* data, MixCursor& c,
                   const int32_t* levels, int16_t* out, int32_t frames);
// Stereo: levels[j] is the level after frame j's envelope step, split by pan (0..255).
void MixStereoFrames(const MixWeights& weights, const uint8_t* data, MixCursor& c,
                     const int32_t* levels, int32_t pan, int16_t* out, int32_t frames);

// A straight envelope ramp stepped by an integer accumulator: each step subtracts Peak from acc
// and moves the level by direction (+1 rising, -1 falling) once for every span added back to
// keep acc from going negative, so the level moves by Peak / span per step on average.
struct MixRamp {
    int32_t level;
    int32_t acc; // in [0, span)
    int32_t peak;
    int32_t span;
    int32_t direction;
};
// Runs count steps; levels[i] receives the level after step i.
void RampLevels(MixRamp& r, int32_t* levels, int32_t count);

} // namespace kellix
