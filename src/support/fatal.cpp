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
    std::exit(1);
}

} // namespace kellix
