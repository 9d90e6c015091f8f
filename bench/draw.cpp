// The window's pictures, redrawn whole on every mouse press, right-drag move and scroll event:
// the pattern grid of a large view with every layer, the track grid of a long song, and a
// one-second waveform.
#include "ui/draw_pattern.h"
#include "ui/draw_sample.h"
#include "ui/draw_track.h"

#include <QGuiApplication>

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

using namespace kellix;

namespace {

// 500 notes of 8 instruments spread over the view at the designed scroll position (times 0..57,
// tones 37 down to 1), 100 of them selected, and a rubber band across the view: every layer of
// the picture at work.
void BM_PatternGrid(benchmark::State& state) {
    std::vector<TIdPoint> notes;
    for (int32_t i = 0; i < 500; ++i) {
        notes.push_back({(i * 13) % 58, 37 - (i * 7) % 37, i % 8, (i * 37) % 259, 128});
    }
    std::vector<int32_t> selected;
    for (int32_t i = 0; i < 100; ++i) {
        selected.push_back(i * 5);
    }
    QImage image(1000, 600, QImage::Format_RGB32);
    const PatternPicture picture{.View = {static_cast<int>(state.range(0)), kPatternDesignedV},
                                 .Row = 16,
                                 .Instrument = 3,
                                 .Notes = notes,
                                 .Selected = selected,
                                 .Band = RubberBand{{120, 40}, {700, 500}}};
    for (auto _ : state) {
        DrawPatternGrid(image, picture);
        benchmark::DoNotOptimize(image.constBits());
    }
}
// At H = 0 the keyboard and its labels are in view; at H = 200 only the grid.
BENCHMARK(BM_PatternGrid)->Arg(0)->Arg(200)->Unit(benchmark::kMicrosecond);

// 1000 patterns six to a row (2672 pixels) seen through 800 pixels; the track holds 40.
void BM_TrackGrid(benchmark::State& state) {
    std::vector<int32_t> entries;
    for (int32_t i = 0; i < 40; ++i) {
        entries.push_back(i * 25);
    }
    TTrackPattern track{SharedArray<int32_t>(entries)};
    QImage image(103, 800, QImage::Format_RGB32);
    const int v = static_cast<int>(state.range(0));
    for (auto _ : state) {
        DrawTrackGrid(image, v, 1000, &track);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_TrackGrid)->Arg(0)->Arg(kTrackScrollMax)->Unit(benchmark::kMicrosecond);

// A decaying tone of 44100 mono frames into the 496 x 97 sample picture.
void BM_Sample(benchmark::State& state) {
    constexpr int32_t frames = 44100;
    auto* block = static_cast<SampleBlock*>(std::calloc(1, sizeof(SampleBlock) + 2 * frames));
    block->Format = kSampleMono;
    block->DataSize = 2 * frames;
    for (int32_t i = 0; i < frames; ++i) {
        const double level = 30000 * std::exp(-i / 8000.0) * std::sin(i * 0.05);
        StoreS16(SampleData(block) + 2 * i, static_cast<int16_t>(level));
    }
    QImage image(496, 97, QImage::Format_RGB32);
    for (auto _ : state) {
        DrawSample(image, 496, block);
        benchmark::DoNotOptimize(image.constBits());
    }
    std::free(block);
}
BENCHMARK(BM_Sample)->Unit(benchmark::kMicrosecond);

} // namespace

// The labels are written with Qt's text drawing, which needs a GUI application; no display is
// needed.
int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
