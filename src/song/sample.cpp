#include "song/sample.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace kellix {

namespace {

std::atomic<SampleReleaseFn> g_release{nullptr};
std::atomic<SampleInUseFn> g_inUse{nullptr};

// Blocks whose release waits for their voices to end. The in-use test takes the mixing lock,
// so it is never called while this mutex is held.
std::mutex g_heldMutex;
std::vector<SampleBlock*> g_held;

void FreeNow(SampleBlock* block) {
    if (SampleReleaseFn release = g_release.load()) {
        release(block);
    }
}

bool InUse(const SampleBlock* block) {
    SampleInUseFn inUse = g_inUse.load();
    return inUse && inUse(block);
}

} // namespace

void SetSampleRelease(SampleReleaseFn release) {
    g_release.store(release);
}

void SetSampleInUse(SampleInUseFn inUse) {
    g_inUse.store(inUse);
}

void ReleaseSample(SampleBlock* block) {
    ReleaseFinishedSamples();
    if (!block) {
        return;
    }
    if (InUse(block)) {
        std::lock_guard lock(g_heldMutex);
        g_held.push_back(block);
        return;
    }
    FreeNow(block);
}

int32_t ReleaseFinishedSamples() {
    std::vector<SampleBlock*> candidates;
    {
        std::lock_guard lock(g_heldMutex);
        if (g_held.empty()) {
            return 0;
        }
        candidates.swap(g_held);
    }
    std::vector<SampleBlock*> still;
    for (SampleBlock* block : candidates) {
        if (InUse(block)) {
            still.push_back(block);
        } else {
            FreeNow(block);
        }
    }
    std::lock_guard lock(g_heldMutex);
    g_held.insert(g_held.end(), still.begin(), still.end());
    return static_cast<int32_t>(g_held.size());
}

} // namespace kellix
