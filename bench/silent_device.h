#pragma once

// The live output without a sound device, for the benchmarks: the worker waits, nothing is
// mixed unless a benchmark asks for it.
#include "audio/live_output.h"

namespace kellix::bench {

struct SilentDevice final : OutputDevice {
    bool Open() override { return true; }
    bool CreateStream(LiveOutput&) override { return true; }
    void Play() override {}
    void Stop() override {}
    void Close() override {}
};

} // namespace kellix::bench
