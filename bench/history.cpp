// The undo history on a song of 10,000 notes (100 patterns of 100): what recording one step
// costs, an undo and a redo with the song restored, and the memory of 500 and 1,000 steps of
// notes placed one by one, by the history's own accounting and by the heap's growth.
#include "ui/model/song_history.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

namespace {

using namespace kellix;

// Places the notes one by one, each change recorded first when there is a history.
void PlaceNotes(TTrack& song, TInstrumentCode& code, SongHistory* history) {
    NewSong(song, code);
    ResizePatterns(song, 100);
    for (int32_t p = 0; p < 100; ++p) {
        for (int32_t t = 0; t < 100; ++t) {
            if (history) {
                history->Record(ChangeKind::Edit, -1, song, code);
            }
            TPattern& pattern = song.Patterns[p];
            const int32_t k = AppendPoint(pattern);
            pattern.Points[k] = {t, 40, 0, 256, 128};
        }
    }
}

std::size_t HeapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void BM_HistoryMemory(benchmark::State& state) {
    const auto steps = static_cast<std::size_t>(state.range(0));
    std::size_t bytes = 0;
    std::size_t heap = 0;
    for (auto _ : state) {
        TTrack song;
        TInstrumentCode code;
        auto history = std::make_unique<SongHistory>(steps);
        PlaceNotes(song, code, history.get());
        const std::size_t with = HeapInUse();
        bytes = history->Bytes();
        history.reset();
        heap = with - HeapInUse();
        EmptySong(song, code);
    }
    state.counters["history_bytes"] = static_cast<double>(bytes);
    state.counters["heap_bytes"] = static_cast<double>(heap);
}
BENCHMARK(BM_HistoryMemory)->Arg(500)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// One note changed per step, in turn in each pattern: the capture compares the whole song and
// copies one pattern.
void BM_RecordStep(benchmark::State& state) {
    TTrack song;
    TInstrumentCode code;
    PlaceNotes(song, code, nullptr);
    SongHistory history;
    int32_t p = 0;
    for (auto _ : state) {
        history.Record(ChangeKind::Edit, -1, song, code);
        song.Patterns[p].Points[0].Tone ^= 1;
        p = (p + 1) % 100;
    }
    state.counters["history_bytes"] = static_cast<double>(history.Bytes());
    EmptySong(song, code);
}
BENCHMARK(BM_RecordStep)->Unit(benchmark::kMicrosecond);

void BM_UndoRedo(benchmark::State& state) {
    TTrack song;
    TInstrumentCode code;
    PlaceNotes(song, code, nullptr);
    SongHistory history;
    history.Record(ChangeKind::Edit, -1, song, code);
    song.Patterns[50].Points[0].Tone = 41;
    for (auto _ : state) {
        RestoreSong(history.Undo(song, code).Song, song, code);
        RestoreSong(history.Redo(song, code).Song, song, code);
    }
    EmptySong(song, code);
}
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMicrosecond);

} // namespace
