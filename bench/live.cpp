// The time of one live fill (FillQuarter: 11025 frames of the live mixer into the ring) with
// many voices sounding. A fill must end well within the quarter second it has.

#include "silent_device.h"

#include "audio/live_output.h"
#include "audio/mixer.h"
#include "song/sample.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <vector>

namespace kellix {
namespace {

using bench::SilentDevice;

SampleBlock* LongSample(uint8_t format, int32_t frames) {
    const int32_t bytes = frames * 2 * format;
    auto* block = static_cast<SampleBlock*>(std::malloc(sizeof(SampleBlock) + bytes));
    block->Format = format;
    block->DataSize = bytes;
    for (int32_t i = 0; i < frames * format; ++i) {
        StoreS16(SampleData(block) + 2 * i, static_cast<int16_t>(12000 * std::sin(i * 0.013)));
    }
    return block;
}

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Voices of both formats at several pitches, with envelopes and pans, all sounding throughout.
void AddVoices(LiveOutput& live, int voices, const std::vector<SampleBlock*>& samples) {
    const TEnvelope env{2000, 10000000, 5000};
    VoiceBatch batch;
    for (int i = 0; i < voices; ++i) {
        const int32_t step = 30000 + (i * 7919) % 60000;
        batch.Add(i * 37, step, 32512 / 8, (i * 53) % 256, i % 3 ? &env : nullptr,
                  samples[i % samples.size()]);
    }
    live.AddVoices(batch);
}

void BM_FillQuarter(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    SilentDevice device;
    LiveOutput live(device);
    // Over a minute of sample data at the highest step used; voices that end are started anew
    // between fills.
    const std::vector<SampleBlock*> samples = {LongSample(kSampleMono, 44100 * 200),
                                               LongSample(kSampleStereo, 44100 * 200)};
    AddVoices(live, voices, samples);
    std::vector<uint8_t> out(kQuarterBytes);
    double longest = 0;
    double longestCpu = 0;
    double sum = 0;
    int64_t fills = 0;
    for (auto _ : state) {
        if (static_cast<int>(live.Voices().size()) < voices) {
            live.Stop();
            AddVoices(live, voices, samples);
        }
        while (live.PendingFills() == 0) {
            live.Pull(out.data(), kQuarterBytes);
        }
        const double cpuStart = ThreadCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        live.FillQuarter();
        const auto end = std::chrono::steady_clock::now();
        const double cpu = ThreadCpuSeconds() - cpuStart;
        const double seconds = std::chrono::duration<double>(end - start).count();
        state.SetIterationTime(seconds);
        longest = std::max(longest, seconds);
        longestCpu = std::max(longestCpu, cpu);
        sum += seconds;
        ++fills;
    }
    // Wall time includes whatever else the machine runs; CPU time is the fill's own work.
    state.counters["longest_ms"] = longest * 1e3;
    state.counters["longest_cpu_ms"] = longestCpu * 1e3;
    state.counters["mean_ms"] = sum / static_cast<double>(std::max<int64_t>(fills, 1)) * 1e3;
    live.Stop();
    for (SampleBlock* s : samples) {
        std::free(s);
    }
}
BENCHMARK(BM_FillQuarter)->Arg(64)->Arg(512)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kellix
