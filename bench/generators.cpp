// Frames per second of each generator procedure on a 10-second mono sample.
#include "morvane.h"

#include <benchmark/benchmark.h>

#include <bit>
#include <type_traits>

namespace {

constexpr int32_t kFrames = 441000;

int32_t F(float v) {
    return std::bit_cast<int32_t>(v);
}

template <class... A> int32_t Call(const char* name, A... args) {
    using Fn = int32_t (*)(std::conditional_t<true, int32_t, A>...);
    return reinterpret_cast<Fn>(GetSampleProcAddres(name))(static_cast<int32_t>(args)...);
}

// Runs one procedure call per iteration on a sample filled with a tone.
template <class Body> void Run(benchmark::State& state, Body body) {
    MorvaneReset();
    int32_t s = Call("CreateSample", kFrames, 1);
    int32_t mod = Call("CreateSample", kFrames, 1);
    Call("GSample", s, 0, F(220.0f), 8000);
    Call("GSample", mod, 0, F(110.0f), 20000);
    Call("SplCount", 3);
    Call("SplSet", 1, F(0.3f), F(1.0f));
    for (auto _ : state) {
        body(s, mod);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * kFrames);
    FreeSample(mod);
    FreeSample(s);
    MorvaneReset();
}

void GSampleSin(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("GSample", s, 0, F(261.63f), 8000); });
}
void GSampleSaw(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("GSample", s, 4, F(55.0f), 8000); });
}
void GSampleAdd(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) {
        Call("GeneratorSampleMode", 1);
        Call("GSample", s, 2, F(261.63f), 100);
    });
}
void GSweep(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("GSweep", s, 0, F(400.0f), F(50.0f), F(0.05f), 8000); });
}
void Operator(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t m) { Call("Operator", s, 0, F(440.0f), 8000, m, F(2.0f)); });
}
void GConst(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("GConst", s, 1000); });
}
void MixSample(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t m) { Call("MixSample", s, m, 16000); });
}
void NoiseSample(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("NoiseSample", s, 8000, 1); });
}
void WavletNoise(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("WavletNoise", s, 8000, F(2000.0f), 1); });
}
void WavletHQ(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("WavletHQ", s, 8000, F(2000.0f), 1); });
}
void Rossler(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Rossler", s, F(1000.0f), 8000); });
}
void Lorenz(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Lorenz", s, F(300.0f), 8000); });
}
void Fade(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Fade", s, 32767, 32000); });
}
void Envelope(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Envelope", s); });
}
void SPLPFilter(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("SPLPFilter", s, F(2000.0f)); });
}
void ZandR(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("ZandR", s, F(2000.0f), F(0.7f)); });
}
void Distortion(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Distortion", s, F(3.0f)); });
}
void Quant(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Quant", s, 8); });
}
void Reverb(benchmark::State& st) {
    Run(st, [](int32_t s, int32_t) { Call("Reverb", s, F(0.7f), F(0.5f), F(0.3f)); });
}

} // namespace

BENCHMARK(GSampleSin);
BENCHMARK(GSampleSaw);
BENCHMARK(GSampleAdd);
BENCHMARK(GSweep);
BENCHMARK(Operator);
BENCHMARK(GConst);
BENCHMARK(MixSample);
BENCHMARK(NoiseSample);
BENCHMARK(WavletNoise);
BENCHMARK(WavletHQ);
BENCHMARK(Rossler);
BENCHMARK(Lorenz);
BENCHMARK(Fade);
BENCHMARK(Envelope);
BENCHMARK(SPLPFilter);
BENCHMARK(ZandR);
BENCHMARK(Distortion);
BENCHMARK(Quant);
BENCHMARK(Reverb);
