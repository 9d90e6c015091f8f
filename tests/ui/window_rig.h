#pragma once

// What a window needs from the program: the generator library's scripting and a live output on
// the SDL sound device (the dummy driver in the tests' environment).

#include "audio/device/sdl_output.h"
#include "audio/live_output.h"
#include "script/dllgen.h"

#include <memory>

namespace kellix::test {

struct WindowRig {
    std::unique_ptr<Scripting> Scripts = StartScripting();
    std::unique_ptr<OutputDevice> Device = MakeSdlDevice();
    std::unique_ptr<LiveOutput> Live = std::make_unique<LiveOutput>(*Device);
};

} // namespace kellix::test
