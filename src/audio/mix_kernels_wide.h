#pragma once

// The vector routines behind mix_kernels.h, on x86-64 only. Each mixes the frames it can from
// the start of the run and returns how many; the portable routine mixes the rest.

#include "audio/mix_kernels.h"

#if defined(__x86_64__)
#define KELLIX_WIDE_MIX 1

namespace kellix {

int32_t MonoAvx2(const MixWeights& weights, const MixRun& run, MixCursor& c);
int32_t StereoAvx2(const MixWeights& weights, const MixRun& run, MixCursor& c);
int32_t RampAvx2(MixRamp& r, int32_t* levels, int32_t count);

int32_t MonoAvx512(const MixRun& run, MixCursor& c);
int32_t StereoAvx512(const MixRun& run, MixCursor& c);
int32_t RampAvx512(MixRamp& r, int32_t* levels, int32_t count);

} // namespace kellix

#endif
