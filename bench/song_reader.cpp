// Reading song text: tables grown one index at a time (the worst the reader's limits allow), a
// large well-formed song and a line of function bodies that never end.
#include "songtext/song_reader.h"
#include "song/track.h"
#include "songtext/song_writer.h"
#include "support/text.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace kellix;

namespace {

// "Point1" to "Point65535", each with one event: every section grows the pattern table by one
// (about 2.7 MB). With growTracks, "PatternIndex1" and up grow the track table the same way.
std::string GrowingTablesText(bool growTracks) {
    std::string text;
    for (int32_t i = 1; i < kMaxSongTables; ++i) {
        if (growTracks) {
            text += "PatternIndex" + std::to_string(i) + ": array [0..0] of longint=(0);\r\n";
        } else {
            text += "Point" + std::to_string(i) + ": array [0..0] of TIdPoint=();\r\n";
        }
    }
    return text;
}

// A song as the writer writes it, about 27 MB: 2000 patterns of 212 events, 2000 tracks of
// 8 patterns, a play list of 20000 entries and 64 instruments with code.
std::string LargeSongText() {
    TTrack song;
    ResizeInstruments(song, 64);
    const CodeText body(" Result := CreateSample( 44100 , 1 );\r\n GSample( Result , FG_SIN , "
                        "261.63 , 8000 );");
    for (int32_t i = 0; i < 64; ++i) {
        song.Instrument.EditAt(i) = {0, {i * 10, 20000 + i, 3000}, body};
    }
    ResizePatterns(song, 2000);
    for (int32_t p = 0; p < 2000; ++p) {
        std::vector<TIdPoint>& points = song.Patterns.EditAt(p).Points.Edit();
        for (int32_t e = 0; e < 212; ++e) {
            points.push_back({e * 2, 12 + (e * 7 + p) % 36, (p + e) % 64, 60 + e % 100,
                              (e * 37) % 256});
        }
    }
    ResizeTracks(song, 2000);
    for (int32_t t = 0; t < 2000; ++t) {
        for (int32_t i = 0; i < 8; ++i) {
            AppendPatternIndex(song.Tracks.EditAt(t), (t * 8 + i) % 2000);
        }
    }
    ResizeTracksIndex(song, 20000);
    song.Speed = 128;
    song.Row = 16;
    return SongText(song);
}

// One line of about 26 MB: 700000 functions whose "end" stands behind a "//", so that no
// body ends and every "begin" searches anew, and one last function that ends.
std::string BodiesWithoutEndText() {
    std::string text = "Instruments array 0 1 of TInstrument x ";
    for (int i = 0; i < 700000; ++i) {
        text += "Function InitSample0 x begin A // end ";
    }
    return text + "Function InitSample1 x begin B end";
}

void ReadText(benchmark::State& state, const std::string& text) {
    for (auto _ : state) {
        state.PauseTiming();
        TTrack song;
        std::string copy = text;
        state.ResumeTiming();
        ReadSongTextInPlace(song, copy.data());
        benchmark::DoNotOptimize(song.PatternCount());
        state.PauseTiming();
        song = TTrack{};
        state.ResumeTiming();
    }
    state.counters["MB"] = static_cast<double>(text.size()) / 1e6;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}

void BM_ReadGrowingPatterns(benchmark::State& state) {
    static const std::string text = GrowingTablesText(false);
    ReadText(state, text);
}
BENCHMARK(BM_ReadGrowingPatterns)->Unit(benchmark::kMillisecond);

void BM_ReadGrowingTracks(benchmark::State& state) {
    static const std::string text = GrowingTablesText(true);
    ReadText(state, text);
}
BENCHMARK(BM_ReadGrowingTracks)->Unit(benchmark::kMillisecond);

void BM_ReadLargeSong(benchmark::State& state) {
    static const std::string text = LargeSongText();
    ReadText(state, text);
}
BENCHMARK(BM_ReadLargeSong)->Unit(benchmark::kMillisecond);

void BM_ReadBodiesWithoutEnd(benchmark::State& state) {
    static const std::string text = BodiesWithoutEndText();
    ReadText(state, text);
}
BENCHMARK(BM_ReadBodiesWithoutEnd)->Unit(benchmark::kMillisecond);

} // namespace
