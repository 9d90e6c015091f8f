#include "blocks.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace morvane {
namespace {

// A handle is (generation << 20) | slot. A slot's generation grows with every release and the
// slot is retired once it runs out, so a released handle never names a later block.
constexpr uint32_t kSlotBits = 20;
constexpr uint32_t kMaxSlots = 1u << kSlotBits;
constexpr uint32_t kMaxGeneration = (1u << (31 - kSlotBits)) - 1;

struct Slot {
    uint8_t* block = nullptr;
    uint32_t generation = 1;
    bool kept = false;  // handed over to the program: scripts can no longer reach it
    bool inRun = false; // created during the current script run
};

struct HandleTable {
    std::mutex lock;
    std::vector<Slot> slots;
    std::vector<uint32_t> free;
    int32_t live = 0;
    uint64_t liveBytes = 0;
    // The current script run: the bytes its live blocks hold, and whether one was refused.
    bool running = false;
    uint64_t runBytes = 0;
    bool refused = false;
};

HandleTable& Table() {
    static HandleTable table;
    return table;
}

int32_t MakeHandle(uint32_t slot, uint32_t generation) {
    return static_cast<int32_t>((generation << kSlotBits) | slot);
}

// Caller holds the lock.
Slot* Find(HandleTable& t, int32_t handle) {
    if (handle <= 0) {
        return nullptr;
    }
    uint32_t h = static_cast<uint32_t>(handle);
    uint32_t slot = h & (kMaxSlots - 1);
    if (slot >= t.slots.size()) {
        return nullptr;
    }
    Slot& s = t.slots[slot];
    if (s.block == nullptr || s.generation != (h >> kSlotBits)) {
        return nullptr;
    }
    return &s;
}

// The slot of a block that scripts may use: not one the program keeps.
Slot* FindForScripts(HandleTable& t, int32_t handle) {
    Slot* s = Find(t, handle);
    return s != nullptr && !s->kept ? s : nullptr;
}

int32_t DataBytes(const uint8_t* block) {
    int32_t size;
    std::memcpy(&size, block + 5, 4);
    return size;
}

uint64_t BlockBytes(const uint8_t* block) {
    return kHeaderSize + static_cast<uint64_t>(DataBytes(block));
}

// Counts a new block of size bytes against the current run; false when it would exceed the
// run's limit.
bool Reserve(uint64_t size) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (!t.running) {
        return true;
    }
    if (t.runBytes + size > kRunSampleBytes) {
        t.refused = true;
        return false;
    }
    t.runBytes += size;
    return true;
}

// Caller holds the lock. Takes the block out of its slot and retires the handle.
uint8_t* Detach(HandleTable& t, Slot& s) {
    uint8_t* block = s.block;
    if (s.inRun && t.running) {
        t.runBytes -= BlockBytes(block);
    }
    s.block = nullptr;
    s.kept = false;
    s.inRun = false;
    --t.live;
    t.liveBytes -= BlockBytes(block);
    if (s.generation < kMaxGeneration) {
        ++s.generation;
        t.free.push_back(static_cast<uint32_t>(&s - t.slots.data()));
    }
    return block;
}

int32_t Register(uint8_t* block) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    uint32_t slot;
    if (!t.free.empty()) {
        slot = t.free.back();
        t.free.pop_back();
    } else if (t.slots.size() < kMaxSlots) {
        slot = static_cast<uint32_t>(t.slots.size());
        t.slots.push_back(Slot{});
    } else {
        if (t.running) {
            t.runBytes -= BlockBytes(block);
        }
        return 0;
    }
    Slot& s = t.slots[slot];
    s.block = block;
    s.inRun = t.running;
    ++t.live;
    t.liveBytes += BlockBytes(block);
    int32_t handle = MakeHandle(slot, s.generation);
    std::memcpy(block, &handle, 4);
    return handle;
}

void Unreserve(uint64_t size) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (t.running) {
        t.runBytes -= size;
    }
}

} // namespace

int32_t NewBlock(int32_t frames, int32_t channels) {
    if (frames < 1 || frames > kMaxFrames || (channels != 1 && channels != 2)) {
        return 0;
    }
    int32_t bytes = frames * channels * 2;
    if (!Reserve(kHeaderSize + static_cast<uint64_t>(bytes))) {
        return 0;
    }
    auto* block = static_cast<uint8_t*>(std::calloc(1, kHeaderSize + bytes));
    if (block == nullptr) {
        Unreserve(kHeaderSize + static_cast<uint64_t>(bytes));
        return 0;
    }
    block[4] = static_cast<uint8_t>(channels);
    std::memcpy(block + 5, &bytes, 4);
    int32_t handle = Register(block);
    if (handle == 0) {
        std::free(block);
    }
    return handle;
}

int32_t CopyBlock(int32_t handle) {
    Block src;
    if (!ResolveSource(handle, src)) {
        return 0;
    }
    int32_t copy = NewBlock(src.frames, src.channels);
    Block dst;
    if (copy != 0 && Resolve(copy, dst)) {
        std::memcpy(dst.data, src.data, static_cast<size_t>(src.frames) * src.channels * 2);
    }
    return copy;
}

void ReleaseBlock(int32_t handle, Releaser by) {
    HandleTable& t = Table();
    uint8_t* block;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        Slot* s = by == Releaser::Program ? Find(t, handle) : FindForScripts(t, handle);
        if (s == nullptr) {
            return;
        }
        block = Detach(t, *s);
    }
    std::free(block);
}

namespace {

bool ResolveSlot(int32_t handle, bool kept, Block& out) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    Slot* s = kept ? Find(t, handle) : FindForScripts(t, handle);
    if (s == nullptr) {
        return false;
    }
    out.data = s->block + kHeaderSize;
    out.channels = s->block[4];
    out.frames = DataBytes(s->block) / (2 * out.channels);
    return true;
}

} // namespace

bool Resolve(int32_t handle, Block& out) {
    return ResolveSlot(handle, false, out);
}

bool ResolveSource(int32_t handle, Block& out) {
    return ResolveSlot(handle, true, out);
}

void* BlockPointer(int32_t handle) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    Slot* s = FindForScripts(t, handle);
    return s == nullptr ? nullptr : s->block;
}

void KeepBlock(int32_t handle) {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    if (Slot* s = Find(t, handle)) {
        s->kept = true;
    }
}

int32_t HandleOf(const void* block) {
    if (block == nullptr) {
        return 0;
    }
    // The header is trusted only when the table still maps it to this very block.
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    int32_t handle;
    for (const Slot& s : t.slots) {
        if (s.block == block) {
            std::memcpy(&handle, block, 4);
            return Find(t, handle) != nullptr ? handle : 0;
        }
    }
    return 0;
}

void BeginRun() {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    for (Slot& s : t.slots) {
        s.inRun = false;
    }
    t.running = true;
    t.runBytes = 0;
    t.refused = false;
}

bool EndRun(const int32_t* keep, int32_t count) {
    HandleTable& t = Table();
    std::vector<uint8_t*> lost;
    bool refused;
    {
        std::lock_guard<std::mutex> guard(t.lock);
        for (uint32_t i = 0; i < t.slots.size(); ++i) {
            Slot& s = t.slots[i];
            if (s.block == nullptr || !s.inRun) {
                continue;
            }
            const int32_t handle = MakeHandle(i, s.generation);
            bool held = false;
            for (int32_t k = 0; k < count && !held; ++k) {
                held = keep[k] == handle;
            }
            if (held) {
                s.inRun = false;
            } else {
                lost.push_back(Detach(t, s));
            }
        }
        refused = t.refused;
        t.running = false;
        t.runBytes = 0;
        t.refused = false;
    }
    for (uint8_t* block : lost) {
        std::free(block);
    }
    return refused;
}

int32_t LiveBlocks() {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.live;
}

uint64_t LiveBytes() {
    HandleTable& t = Table();
    std::lock_guard<std::mutex> guard(t.lock);
    return t.liveBytes;
}

} // namespace morvane
