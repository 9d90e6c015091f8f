#include "song/sample.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace kellix {

namespace {

std::atomic<SampleReleaseFn> g_release{nullptr};
// Installed and removed on the window's thread, where every release runs.
SampleInUseFn g_inUse;

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
    return g_inUse && g_inUse(block);
}

} // namespace

void SetSampleRelease(SampleReleaseFn release) {
    g_release.store(release);
}

void SetSampleInUse(SampleInUseFn inUse) {
    g_inUse = std::move(inUse);
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

void SampleSet::Resize(int32_t n) {
    const auto count = static_cast<std::size_t>(n > 0 ? n : 0);
    for (std::size_t i = count; i < blocks_.size(); ++i) {
        ReleaseSample(blocks_[i]);
    }
    blocks_.resize(count, nullptr);
}

void SampleSet::Set(int32_t i, SampleBlock* block) {
    if (i < 0 || i >= Count()) {
        ReleaseSample(block);
        return;
    }
    SampleBlock*& slot = blocks_[static_cast<std::size_t>(i)];
    if (slot != block) {
        ReleaseSample(slot);
        slot = block;
    }
}

} // namespace kellix
