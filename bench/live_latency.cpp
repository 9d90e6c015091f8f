// How soon an audition is heard, and what it costs to hand it over. A stub device pulls the live
// output in 512-frame chunks (the default device buffer) while the worker serves it; between two
// chunks, at a random moment, a preview starts a click:
// - BM_PreviewLatency: frames from the preview to the click's first frame in the pulled stream,
//   plus the 512 frames that were pulled but not yet heard (median and worst of 1000);
// - BM_PreviewCost: the time of the Preview call with 32 or 256 voices sounding;
// - BM_PlayLongSong: the time of a play command (F5) on a play list of a million entries, and on
//   ten entries of a pattern of a million notes in time order or not.

#include "silent_device.h"

#include "audio/effects.h"
#include "audio/live_output.h"
#include "audio/mixer.h"
#include "song/sample.h"
#include "song/track.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

namespace kellix {
namespace {

using bench::SilentDevice;

constexpr int32_t kChunkFrames = 512;

SampleBlock* MakeSample(uint8_t format, int32_t frames, double amplitude) {
    const int32_t bytes = frames * 2 * format;
    auto* block = static_cast<SampleBlock*>(std::malloc(sizeof(SampleBlock) + bytes));
    block->Format = format;
    block->DataSize = bytes;
    for (int32_t i = 0; i < frames * format; ++i) {
        StoreS16(SampleData(block) + 2 * i,
                 static_cast<int16_t>(amplitude * (0.5 + 0.5 * std::sin(i * 0.013))));
    }
    return block;
}

// The live output on the stub with the worker running, the echo switched off (so that the
// stream is silent between clicks) and one instrument whose sample is a short click.
struct Rig {
    SilentDevice Device;
    LiveOutput Live{Device};
    TTrack Song = NewSong();
    SampleSet Samples;
    std::vector<uint8_t> Chunk = std::vector<uint8_t>(kChunkFrames * 4);
    int64_t Pulled = 0; // frames

    Rig() {
        MasterEffects quiet = StartupEffects();
        SetStereoDelay(quiet, 0, 0, 10584, 15876);
        Live.SetEffects(quiet);
        Samples.Resize(Song.InstrumentCount());
        Samples.Set(0, MakeSample(kSampleMono, 300, 20000));
        Song.Instrument.EditAt(0).Env = {0, 268435455, 0};
        Live.StartWorker();
        Live.PlayOutput();
    }
    ~Rig() {
        Live.StopWorker();
        Live.Stop();
        Samples.Resize(0);
    }

    // One device period: a whole chunk, waiting for the worker when it is behind. Returns the
    // frame of the chunk's first sound, or -1.
    int64_t PullChunk() {
        int32_t got = 0;
        while (got < static_cast<int32_t>(Chunk.size())) {
            const int32_t n =
                Live.Pull(Chunk.data() + got, static_cast<int32_t>(Chunk.size()) - got);
            got += n;
            if (n == 0) {
                std::this_thread::sleep_for(std::chrono::microseconds(50));
            }
        }
        int64_t sound = -1;
        for (int32_t f = 0; f < kChunkFrames && sound < 0; ++f) {
            if (LoadS16(Chunk.data() + 4 * f) != 0) {
                sound = Pulled + f;
            }
        }
        Pulled += kChunkFrames;
        return sound;
    }
    void Preview() { Live.Preview(Song, Samples, 0, 24, 256, 128); }
};

void BM_PreviewLatency(benchmark::State& state) {
    for (auto _ : state) {
        Rig rig;
        std::mt19937 rng(11);
        std::vector<int64_t> frames;
        // Past the quarter of silence that leads the stream in.
        while (rig.Pulled < 2 * kQuarterFrames) {
            rig.PullChunk();
        }
        for (int i = 0; i < 1000; ++i) {
            for (int k = static_cast<int>(rng() % 24); k > 0; --k) {
                rig.PullChunk();
            }
            const int64_t at = rig.Pulled;
            rig.Preview();
            int64_t sound = -1;
            while (sound < 0) {
                sound = rig.PullChunk();
            }
            frames.push_back(sound - at + kChunkFrames);
            // The click has ended and nothing else sounds.
            rig.PullChunk();
        }
        std::sort(frames.begin(), frames.end());
        state.counters["median_frames"] = static_cast<double>(frames[frames.size() / 2]);
        state.counters["worst_frames"] = static_cast<double>(frames.back());
    }
}
BENCHMARK(BM_PreviewLatency)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PreviewCost(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    Rig rig;
    // Voices of both formats at several pitches, sounding through the whole run.
    const std::vector<SampleBlock*> longSamples = {MakeSample(kSampleMono, 44100 * 300, 8000),
                                                   MakeSample(kSampleStereo, 44100 * 300, 8000)};
    const TEnvelope env{2000, 100000000, 5000};
    VoiceBatch batch;
    for (int i = 0; i < voices; ++i) {
        batch.Add(i * 37, 30000 + (i * 7919) % 30000, 32512 / 16, (i * 53) % 256,
                  i % 3 ? &env : nullptr, longSamples[static_cast<std::size_t>(i) % 2]);
    }
    rig.Live.AddVoices(batch);
    std::mt19937 rng(5);
    double longest = 0;
    for (auto _ : state) {
        for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k) {
            rig.PullChunk();
        }
        const auto start = std::chrono::steady_clock::now();
        rig.Preview();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        longest = std::max(longest, seconds);
    }
    state.counters["longest_ms"] = longest * 1e3;
    rig.Live.StopWorker();
    rig.Live.Stop();
    for (SampleBlock* s : longSamples) {
        std::free(s);
    }
}
BENCHMARK(BM_PreviewCost)->Arg(32)->Arg(256)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_PlayLongSong(benchmark::State& state) {
    const int shape = static_cast<int>(state.range(0));
    Rig rig;
    TTrack song = rig.Song;
    std::vector<TIdPoint>& points = song.Patterns.EditAt(0).Points.Edit();
    std::mt19937 rng(3);
    const int32_t notes = shape == 0 ? 8 : 1000000;
    for (int32_t i = 0; i < notes; ++i) {
        const int32_t time = shape == 2 ? static_cast<int32_t>(rng() % 1000000) : i;
        points.push_back({time, 24 + i % 12, 0, 200, 128});
    }
    AppendPatternIndex(song.Tracks.EditAt(0), 0);
    ResizeTracksIndex(song, shape == 0 ? 1000000 : 10);
    for (int32_t& entry : song.TracksIndex.Edit()) {
        entry = 0;
    }
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        rig.Live.Play(song, rig.Samples, PlayRequest{});
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        rig.Live.Stop();
    }
}
// 0: a million play-list entries; 1: a pattern of a million notes in time order; 2: in no order.
BENCHMARK(BM_PlayLongSong)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace
} // namespace kellix
