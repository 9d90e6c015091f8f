// MixBlock throughput (nanoseconds per voice-frame) and a whole-song export.
#include "audio/mixer.h"
#include "audio/effects.h"
#include "audio/wav_export.h"
#include "song/sequencer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#include <vector>

using namespace kellix;

namespace {

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

// Voices all sounding through every block: 3-second instrument samples at assorted pitches
// with full envelopes, each voice rewound before its sample ends.
void BM_MixBlock(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    const uint8_t format = static_cast<uint8_t>(state.range(1));
    SampleBlock* sample = MakeSine(format, 44100 * 3, 220.0);
    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    std::vector<uint8_t> ring(static_cast<std::size_t>(mixer->Size));
    TEnvelope env{2000, 100000000, 2000};
    for (int v = 0; v < voices; ++v) {
        AddVoice(mixer, 0, PitchToStep(static_cast<float>(12 + v % 24)), 20000, (v * 37) % 256,
                 &env, sample);
    }
    for (auto _ : state) {
        MixBlock(mixer, ring.data(), 11025);
        benchmark::DoNotOptimize(ring.data());
        // Keep every voice sounding: rewind those in their sample's last second at top pitch.
        for (Voice* v = mixer->First; v; v = v->Next) {
            if (v->Position > int64_t{4} * 44100 * 3 * 44100 / v->Step - 4 * 44100) {
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
BENCHMARK(BM_MixBlock)
    ->ArgsProduct({{8, 32, 256}, {1, 2}})
    ->ArgNames({"voices", "format"})
    ->Unit(benchmark::kMicrosecond);

// A 60-second song with 32 voices sounding throughout.
void BM_ExportWav60s(benchmark::State& state) {
    TTrack song;
    TInstrumentCode code;
    NewSong(song, code);
    SampleBlock* sample = MakeSine(1, 44100 * 4, 261.63);
    song.Instrument[0].Sample = sample;
    song.Instrument[0].Env = {500, 150000, 20000};
    // 32 notes every 2 seconds of 4-second samples: 64 at a time, 32 with the envelope open.
    song.Speed = 128;
    song.Row = 16; // 65536 frames an entry, about 1.49 s
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 41); // about 61 s
    for (int i = 0; i < 41; ++i) {
        song.TracksIndex[i] = 0;
    }
    TPattern& p = song.Patterns[0];
    for (int v = 0; v < 32; ++v) {
        int at = AppendPoint(p);
        p.Points[at] = {0, 12 + v % 24, 0, 100, (v * 37) % 256};
    }
    int at = AppendPatternIndex(song.Tracks[0]);
    song.Tracks[0].PatternIndex[at] = 0;
    const double seconds = static_cast<double>(SongFrames(song)) / 44100;
    std::string path = "/tmp/kellix-bench-" + std::to_string(getpid()) + ".wav";
    for (auto _ : state) {
        ExportWav(song, path);
    }
    unlink(path.c_str());
    state.counters["times_real_time"] = benchmark::Counter(
        seconds * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    song.Instrument[0].Sample = nullptr;
    EmptySong(song, code);
    std::free(sample);
}
BENCHMARK(BM_ExportWav60s)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
