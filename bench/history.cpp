// The undo history on a song of 10,000 notes (100 patterns of 100): what recording one step
// costs, an undo and a redo with the song restored, and the memory of 500 and 1,000 steps of
// notes placed one by one, by the history's own accounting and by the heap's growth. And a
// note added to a pattern of 10,000 whose notes an undo step shares.
#include "ui/model/song_history.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>

namespace {

using namespace kellix;

// Places the notes one by one, each change recorded first when there is a history.
TTrack PlaceNotes(SongHistory* history) {
    TTrack song = NewSong();
    ResizePatterns(song, 100);
    for (int32_t p = 0; p < 100; ++p) {
        for (int32_t t = 0; t < 100; ++t) {
            if (history) {
                history->Record(ChangeKind::Edit, -1, song);
            }
            AppendPoint(song.Patterns.EditAt(p), {t, 40, 0, 256, 128});
        }
    }
    return song;
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
        auto history = std::make_unique<SongHistory>(steps);
        TTrack song = PlaceNotes(history.get());
        const std::size_t with = HeapInUse();
        bytes = history->Bytes();
        history.reset();
        heap = with - HeapInUse();
    }
    state.counters["history_bytes"] = static_cast<double>(bytes);
    state.counters["heap_bytes"] = static_cast<double>(heap);
}
BENCHMARK(BM_HistoryMemory)->Arg(500)->Arg(1000)->Iterations(1)->Unit(benchmark::kMillisecond);

// One note changed per step, in turn in each pattern: the step shares the song's arrays and the
// change copies one pattern.
void BM_RecordStep(benchmark::State& state) {
    TTrack song = PlaceNotes(nullptr);
    SongHistory history;
    int32_t p = 0;
    for (auto _ : state) {
        history.Record(ChangeKind::Edit, -1, song);
        song.Patterns.EditAt(p).Points.EditAt(0).Tone ^= 1;
        p = (p + 1) % 100;
    }
    state.counters["history_bytes"] = static_cast<double>(history.Bytes());
}
BENCHMARK(BM_RecordStep)->Unit(benchmark::kMicrosecond);

void BM_UndoRedo(benchmark::State& state) {
    TTrack song = PlaceNotes(nullptr);
    SongHistory history;
    history.Record(ChangeKind::Edit, -1, song);
    song.Patterns.EditAt(50).Points.EditAt(0).Tone = 41;
    for (auto _ : state) {
        song = history.Undo(song).Song;
        song = history.Redo(song).Song;
    }
}
BENCHMARK(BM_UndoRedo)->Unit(benchmark::kMicrosecond);

// A note placed in a pattern of 10,000 notes, as the editor does it: the step before it is
// recorded, so the pattern's notes are copied once for the change.
void BM_AddNoteTo10000(benchmark::State& state) {
    TTrack song = NewSong();
    ResizePoints(song, 0, 10000);
    SongHistory history;
    for (auto _ : state) {
        history.Record(ChangeKind::Edit, -1, song);
        AppendPoint(song.Patterns.EditAt(0), {1, 2, 0, 256, 128});
        state.PauseTiming();
        song = history.Undo(song).Song;
        history.Clear();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_AddNoteTo10000)->Unit(benchmark::kMicrosecond);

} // namespace
