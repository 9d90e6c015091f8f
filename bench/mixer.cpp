// MixBlock throughput (nanoseconds per voice-frame) and a whole-song export.
#include "audio/mixer.h"
#include "audio/effects.h"
#include "audio/wav_export.h"
#include "audio/sequencer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace kellix;

namespace {

int32_t VoiceCount(const kellix::SoundBuffer* mixer) {
    int32_t n = 0;
    for (const kellix::Voice* v = mixer->First; v; v = v->Next) {
        ++n;
    }
    return n;
}

SampleBlock* MakeSine(uint8_t format, int32_t frames, double freq) {
    std::size_t bytes = static_cast<std::size_t>(frames) * 2 * format;
    auto* b = static_cast<SampleBlock*>(std::calloc(1, sizeof(SampleBlock) + bytes));
    b->Format = format;
    b->DataSize = static_cast<int32_t>(bytes);
    for (int32_t i = 0; i < frames * format; ++i) {
        StoreS16(SampleData(b) + 2 * i,
                 static_cast<int16_t>(8000 * std::sin(2 * M_PI * freq * (i / format) / 44100)));
    }
    return b;
}

// The tone of voice v of n: 12 to 35 in turn, or spread evenly over 0 to 48 (steps from a
// quarter to four times the rate).
int32_t Tone(int v, int n, bool spread) {
    return spread ? v * 48 / std::max(n - 1, 1) : 12 + v % 24;
}

// Voices all sounding through every block: 3-second instrument samples at assorted pitches
// with full envelopes, each voice rewound before its sample ends.
void MixVoices(benchmark::State& state, int voices, uint8_t format, bool spread) {
    SampleBlock* sample = MakeSine(format, 44100 * 3, 220.0);
    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<uint8_t> ring(static_cast<std::size_t>(mixer->Size));
    TEnvelope env{2000, 100000000, 2000};
    for (int v = 0; v < voices; ++v) {
        AddVoice(mixer, 0, PitchToStep(static_cast<float>(Tone(v, voices, spread))), 20000,
                 (v * 37) % 256, &env, sample);
    }
    for (auto _ : state) {
        MixBlock(mixer, ring.data(), 11025);
        benchmark::DoNotOptimize(ring.data());
        // Keep every voice sounding: rewind those that have less than a block left.
        for (Voice* v = mixer->First; v; v = v->Next) {
            if (v->Position > int64_t{4} * 44100 * 3 * 44100 / v->Step - 4 * 22050) {
                v->Position = int64_t{4} * 100;
            }
        }
        if (VoiceCount(mixer) != voices) {
            state.SkipWithError("a voice ended");
            break;
        }
    }
    const double voiceFrames = static_cast<double>(state.iterations()) * voices * 11025;
    state.counters["ns_per_voice_frame"] =
        benchmark::Counter(voiceFrames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    FreeSoundBuffer(mixer);
    std::free(sample);
}

void BM_MixBlock(benchmark::State& state) {
    MixVoices(state, static_cast<int>(state.range(0)), static_cast<uint8_t>(state.range(1)),
              state.range(2) != 0);
}
BENCHMARK(BM_MixBlock)
    ->ArgsProduct({{8, 32, 256}, {1, 2}, {0, 1}})
    ->ArgNames({"voices", "format", "spread"})
    ->Unit(benchmark::kMicrosecond);

// The same with the routines of each tier the processor has (0 portable, 1 256-bit, 2 512-bit).
void BM_MixBlockTier(benchmark::State& state) {
    if (!SetMixTier(static_cast<MixTier>(state.range(2)))) {
        state.SkipWithError("the processor lacks these instructions");
        return;
    }
    MixVoices(state, 32, static_cast<uint8_t>(state.range(0)), state.range(1) != 0);
    SetMixTier(BestMixTier());
}
BENCHMARK(BM_MixBlockTier)
    ->ArgsProduct({{1, 2}, {0, 1}, {0, 1, 2}})
    ->ArgNames({"format", "spread", "tier"})
    ->Unit(benchmark::kMicrosecond);

// A 61-second song with 32 voices sounding throughout, the layout of bench/data/song32.txt:
// eight instruments at tones spread from 5 to 43, mono and stereo in turn, each sample as long
// as one play-list entry at its tone, with a short attack and a release at the entry's end.
void BM_ExportWav60s(benchmark::State& state) {
    static const int32_t kTones[8] = {5, 12, 17, 21, 24, 29, 36, 43};
    TTrack song = NewSong();
    song.Speed = 128;
    song.Row = 16; // 65536 frames an entry, about 1.49 s
    ResizeInstruments(song, 8);
    SampleSet samples;
    samples.Resize(8);
    std::vector<SampleBlock*> blocks;
    for (int i = 0; i < 8; ++i) {
        int32_t step = PitchToStep(static_cast<float>(kTones[i]));
        int32_t frames = static_cast<int32_t>(int64_t{65536} * step / 44100 + 4);
        blocks.push_back(MakeSine(static_cast<uint8_t>(1 + i % 2), frames, 261.63));
        samples.Set(i, blocks.back());
        song.Instrument.EditAt(i).Env = {400, 60000, 5136};
    }
    song.TracksIndex = SharedArray<int32_t>(std::vector<int32_t>(41, 0));
    for (int v = 0; v < 32; ++v) {
        AppendPoint(song.Patterns.EditAt(0),
                    {0, kTones[v % 8], v % 8, 60 + (v * 13) % 60, (v * 37) % 256});
    }
    AppendPatternIndex(song.Tracks.EditAt(0), 0);
    const double seconds = static_cast<double>(SongFrames(song)) / 44100;
    std::string path = "/tmp/kellix-bench-" + std::to_string(getpid()) + ".wav";
    for (auto _ : state) {
        ExportWav(song, samples, StartupEffects(), path);
    }
    unlink(path.c_str());
    state.counters["times_real_time"] = benchmark::Counter(
        seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    for (int i = 0; i < 8; ++i) {
        samples.Set(i, nullptr);
        std::free(blocks[static_cast<std::size_t>(i)]);
    }
}
BENCHMARK(BM_ExportWav60s)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
