#include "support/fatal.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace kellix {

namespace {

void ShowOnStderr(const char* message) {
    std::fprintf(stderr, "Error!: %s\n", message);
    std::fflush(stderr);
}

std::atomic<FatalErrorDisplay> g_display{ShowOnStderr};

} // namespace

void SetFatalErrorDisplay(FatalErrorDisplay display) {
    g_display.store(display ? display : ShowOnStderr);
}

void FatalError(const char* message) {
    g_display.load()(message ? message : "");
    // Ends at once: the program may stop in the middle of anything (a worker thread running, a
    // window half built), so neither static objects are destroyed nor what the stack held is
    // freed or checked; only the written output is flushed.
    std::fflush(nullptr);
    std::_Exit(1);
}

} // namespace kellix
