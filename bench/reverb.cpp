// The reverb stage over one 11025-frame block of the ring (nanoseconds per frame).
#include "audio/reverb.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

using namespace kellix;

namespace {

constexpr int32_t kRing = 44100;
constexpr int32_t kBlock = 11025;

// Each block of a second of music-like sound (a tone with noise) runs through the stage in turn,
// so that its memory and filter always carry a sounding tail.
void ReverbBlock(benchmark::State& state, ReverbSettings settings) {
    std::vector<int16_t> source(2 * kRing), ring(2 * kRing);
    uint32_t noise = 1;
    for (int32_t i = 0; i < kRing; ++i) {
        noise = noise * 1664525u + 1013904223u;
        const auto v = static_cast<int32_t>(10000 * std::sin(i * 0.05)) +
                       static_cast<int16_t>(noise >> 16) / 8;
        source[2 * i] = static_cast<int16_t>(v);
        source[2 * i + 1] = static_cast<int16_t>(-v);
    }
    ReverbState* reverb = CreateReverb();
    SetUpReverb(*reverb, settings, true);
    int32_t first = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::copy(source.begin() + 2 * first, source.begin() + 2 * (first + kBlock),
                  ring.begin() + 2 * first);
        state.ResumeTiming();
        SetUpReverb(*reverb, settings, true);
        ApplyReverb(*reverb, reinterpret_cast<uint8_t*>(ring.data()), kRing, first, kBlock);
        benchmark::DoNotOptimize(ring.data());
        first = (first + kBlock) % kRing;
    }
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations()) * kBlock,
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    FreeReverb(reverb);
}

} // namespace

// The start-up settings, the Reverb window's values with a darkening filter, and a high-pass.
BENCHMARK_CAPTURE(ReverbBlock, startup, ReverbSettings{4000, 20000, 10000, 256, 256});
BENCHMARK_CAPTURE(ReverbBlock, window_lowpass, ReverbSettings{20000, 20000, 10000, 60, 256});
BENCHMARK_CAPTURE(ReverbBlock, highpass, ReverbSettings{4000, 20000, 10000, 400, 256});
