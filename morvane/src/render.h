// The common path of every generator: the signal is computed a chunk at a time as real values
// in sample units and combined with the stored samples by the current sample mode.
#pragma once

#include "blocks.h"
#include "state.h"

#include <cstdint>
#include <cstring>

namespace morvane {

constexpr int32_t kChunk = 256;

// Nearest 16-bit value (halves away from zero), saturated; written so that even a NaN lands
// in range instead of reaching the conversion.
inline int32_t ToSample(float x) {
    x = x > -32768.0f ? x : -32768.0f;
    x = x < 32767.0f ? x : 32767.0f;
    return static_cast<int32_t>(x + (x < 0 ? -0.5f : 0.5f));
}

inline void LoadSamples(const Block& b, int32_t frame, int32_t frames, int16_t* out) {
    std::memcpy(out, b.data + static_cast<size_t>(frame) * b.channels * 2,
                static_cast<size_t>(frames) * b.channels * 2);
}

inline void StoreSamples(const Block& b, int32_t frame, int32_t frames, const int16_t* in) {
    std::memcpy(b.data + static_cast<size_t>(frame) * b.channels * 2, in,
                static_cast<size_t>(frames) * b.channels * 2);
}

// g holds one value per stored sample (interleaved like the block).
void CombineChunk(const Block& b, int32_t frame, int32_t frames, const float* g, SampleMode mode);

// Runs gen(float* out, int32_t first frame, int32_t frames) over the block a chunk at a time;
// one value per frame, the same on both channels of a stereo block.
template <class Gen> void GenerateFrames(const Block& b, Gen&& gen) {
    SampleMode mode = CurrentSettings().mode;
    float g[kChunk];
    float wide[2 * kChunk];
    for (int32_t frame = 0; frame < b.frames; frame += kChunk) {
        int32_t n = b.frames - frame < kChunk ? b.frames - frame : kChunk;
        gen(g, frame, n);
        if (b.channels == 2) {
            for (int32_t i = 0; i < n; ++i) {
                wide[2 * i] = g[i];
                wide[2 * i + 1] = g[i];
            }
            CombineChunk(b, frame, n, wide, mode);
        } else {
            CombineChunk(b, frame, n, g, mode);
        }
    }
}

// Runs fn(int16_t* samples, int32_t first frame, int32_t frames) over the block's stored
// samples a chunk at a time, writing back what fn leaves.
template <class Fn> void ProcessInPlace(const Block& b, Fn&& fn) {
    int16_t s[2 * kChunk];
    for (int32_t frame = 0; frame < b.frames; frame += kChunk) {
        int32_t n = b.frames - frame < kChunk ? b.frames - frame : kChunk;
        LoadSamples(b, frame, n, s);
        fn(s, frame, n);
        StoreSamples(b, frame, n, s);
    }
}

} // namespace morvane
