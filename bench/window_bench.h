#pragma once

// The main of the window benchmarks: an offscreen application, the script library and a live
// output on the silent device, made once and given to the benchmarks through scripts and live.
#include "silent_device.h"

#include "audio/live_output.h"
#include "script/dllgen.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <memory>

namespace kellix::bench {

inline int RunWindowBenchmarks(int argc, char** argv, Scripting*& scripts, LiveOutput*& live) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const std::unique_ptr<Scripting> library = StartScripting();
    SilentDevice device;
    LiveOutput output(device);
    scripts = library.get();
    live = &output;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace kellix::bench
