#include "song/sample.h"

#include <atomic>

namespace kellix {

namespace {
std::atomic<SampleReleaseFn> g_release{nullptr};
}

void SetSampleRelease(SampleReleaseFn release) { g_release.store(release); }

void ReleaseSample(SampleBlock* block) {
    if (!block) {
        return;
    }
    if (SampleReleaseFn release = g_release.load()) {
        release(block);
    }
}

} // namespace kellix
