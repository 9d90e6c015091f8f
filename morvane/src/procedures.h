// The procedures that scripts call through the identifier table. Every parameter and result is
// 32 bits; real parameters arrive as the bits of a single-precision float.
#pragma once

#include <cstdint>

namespace morvane {

int32_t CreateSample(int32_t frames, int32_t format);
int32_t CloneSample(int32_t sample);
int32_t FreeSampleProc(int32_t sample);
int32_t GeneratorSampleMode(int32_t mode);
int32_t GSample(int32_t sample, int32_t shape, int32_t hz, int32_t amplitude);
int32_t GSweep(int32_t sample, int32_t shape, int32_t startHz, int32_t endHz, int32_t seconds,
               int32_t amplitude);
int32_t Operator(int32_t sample, int32_t shape, int32_t hz, int32_t amplitude, int32_t modulator,
                 int32_t index);
int32_t GConst(int32_t sample, int32_t value);
int32_t MixSample(int32_t sample, int32_t source, int32_t level);
int32_t NoiseSample(int32_t sample, int32_t amplitude, int32_t seed);
int32_t WavletNoise(int32_t sample, int32_t amplitude, int32_t hz, int32_t seed);
int32_t WavletHQ(int32_t sample, int32_t amplitude, int32_t hz, int32_t seed);
int32_t Rossler(int32_t sample, int32_t speed, int32_t amplitude);
int32_t Lorenz(int32_t sample, int32_t speed, int32_t amplitude);
int32_t SplCount(int32_t count);
int32_t SplSet(int32_t index, int32_t position, int32_t value);
int32_t Fade(int32_t sample, int32_t startLevel, int32_t endLevel);
int32_t Envelope(int32_t sample);
int32_t Distortion(int32_t sample, int32_t drive);
int32_t Quant(int32_t sample, int32_t bits);
int32_t SPLPFilter(int32_t sample, int32_t cutoff);
int32_t ZandR(int32_t sample, int32_t cutoff, int32_t resonance);
int32_t Reverb(int32_t sample, int32_t room, int32_t damping, int32_t wet);

} // namespace morvane
