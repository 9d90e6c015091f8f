// The window's own costs: from creating the main window to its first painted picture (the
// default song with ten empty instruments), and "Generator Exe" (F9) on a one-second instrument
// with the redraw of its waveform.
#include "window_bench.h"

#include "audio/live_output.h"
#include "script/dllgen.h"
#include "ui/image_view.h"
#include "ui/main_window.h"

#include <QApplication>
#include <QPaintEvent>

#include <benchmark/benchmark.h>

using namespace kellix;

namespace {

// What the window needs from the program, made in main.
Scripting* g_scripts = nullptr;
LiveOutput* g_live = nullptr;

// Notices the first paint of a widget.
class PaintWatch : public QObject {
  public:
    bool Painted = false;

  protected:
    bool eventFilter(QObject*, QEvent* event) override {
        Painted = Painted || event->type() == QEvent::Paint;
        return false;
    }
};

void BM_StartToFirstPaint(benchmark::State& state) {
    for (auto _ : state) {
        TKellixForm form(ToolWindows{}, *g_live, *g_scripts);
        PaintWatch watch;
        form.EditPattern->installEventFilter(&watch);
        form.show();
        while (!watch.Painted) {
            QApplication::processEvents();
        }
    }
}
BENCHMARK(BM_StartToFirstPaint)->Unit(benchmark::kMillisecond);

void BM_GeneratorExeOneSecond(benchmark::State& state) {
    TKellixForm form(ToolWindows{}, *g_live, *g_scripts);
    form.show();
    QApplication::processEvents();
    form.Model().SetCodeText(" Result:=CreateSample( 44100 , 1 );\r\n"
                             " GSample( Result , FG_SAW , 220 , 20000 );\r\n"
                             " SPLPFilter( Result , 3000 );");
    for (auto _ : state) {
        form.Model().RunCode();
        form.SampleImage->repaint();
    }
    if (form.Model().Status() != "Ok") {
        state.SkipWithError("the instrument did not compile");
    }
}
BENCHMARK(BM_GeneratorExeOneSecond)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return kellix::bench::RunWindowBenchmarks(argc, argv, g_scripts, g_live);
}
