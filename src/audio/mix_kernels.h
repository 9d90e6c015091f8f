#pragma once

#include <cstdint>

namespace kellix {

// How a voice's source position moves per output frame; fixed for the voice.
struct MixSteps {
    int32_t whole; // Step / Rate
    int32_t part;  // Step % Rate
    int32_t rate;
    // For 1, 2, 4, 8 and 16 frames at once (index 0 to 4): the source frames passed whole, the
    // rest of the step below Rate, that rest x 65536 split as weight x Rate + LaneRest, and
    // LaneWhole x 65536 + weight. The lane routines move the interpolation weight with these
    // instead of looking it up.
    int32_t LaneWhole[5];
    int32_t LanePart[5];
    int32_t LaneRest[5];
    int32_t LaneAdvance[5];
    // The farthest that the source frames of 16 consecutive output frames lie from the first
    // one, plus one for the interpolation's second frame.
    int32_t Span16;
    // Sixteen-frame passes after which the 512-bit routines recount source frames from the first
    // lane's, so that their 16.16 positions never overflow.
    int32_t RebaseEvery;
    bool Lanes; // the lane figures fit (steps up to a thousand times the rate)
};
MixSteps MakeMixSteps(int32_t step, int32_t rate);

// The resampler's source position: whole frame k and error term e in [0, Rate), advanced per
// output frame by e -= Step; while e < 0 { k++; e += Rate } (done here without the loop).
struct MixCursor {
    int64_t k;
    int32_t e;
    void Advance(const MixSteps& s) {
        k += s.whole;
        e -= s.part;
        int32_t borrow = e >> 31; // -1 when e went negative
        k -= borrow;
        e += borrow & s.rate;
    }
};

// The interpolation weights W[e] = truncate(e / Rate x 65536), e < Rate. Where every entry
// equals truncate(e x Scale + kWeightBias) in double precision (true at 44100 frames per
// second), the 8-lane routines compute weights instead of looking them up.
struct MixWeights {
    const int32_t* Table;
    bool Computable;
    double Scale;
};
constexpr double kWeightBias = 1.0 / (1 << 20);
MixWeights MakeMixWeights(const int32_t* table, int32_t rate);

// One voice over a run of output frames.
struct MixRun {
    const MixSteps* Steps;
    const uint8_t* Data;   // source frame 0 of the cursor
    int64_t Readable;      // source frames from Data on that lie inside the sample
    const int32_t* Levels; // the envelope level of each frame, or null for Level throughout
    int32_t Level;
    int32_t Pan;  // 0..255
    int16_t* Out; // interleaved stereo, added to with saturation
    int32_t Frames;
};

// Mono: the level of frame j is the one before its envelope step, taken as a signed 16-bit
// number, and the value goes to both channels. Stereo: the level after the step, split by pan.
// Reads never pass Readable as long as the cursor's frames do not.
void MixMonoFrames(const MixWeights& weights, const MixRun& run, MixCursor& c);
void MixStereoFrames(const MixWeights& weights, const MixRun& run, MixCursor& c);

// A straight envelope ramp stepped by an integer accumulator: each step subtracts Peak from acc
// and moves the level by direction (+1 rising, -1 falling) once for every span added back to
// keep acc from going negative, so the level moves by Peak / span per step on average.
struct MixRamp {
    int32_t level;
    int32_t acc; // in [0, span)
    int32_t peak;
    int32_t span;
    int32_t direction;
    // One step, with whole = peak / span and part = peak % span: acc -= peak; while acc < 0
    // { level += direction; acc += span }, without the loop (acc starts in [0, span), so at most
    // one span comes back after the whole ones).
    void Step(int32_t whole, int32_t part) {
        level += direction * whole;
        acc -= part;
        int32_t borrow = acc >> 31; // -1 when acc went negative
        level -= direction * borrow;
        acc += borrow & span;
    }
};
// Runs count steps; levels[i] receives the level after step i.
void RampLevels(MixRamp& r, int32_t* levels, int32_t count);

// The routines: portable ones everywhere, and where the processor has them, ones for 256-bit
// or 512-bit vectors that give the same bytes. The widest the processor checks allow is chosen
// when the program starts.
enum class MixTier { Portable, Avx2, Avx512 };
MixTier BestMixTier();
MixTier CurrentMixTier();
// For tests and benchmarks: false (and no change) when the processor lacks the tier.
bool SetMixTier(MixTier tier);

} // namespace kellix
