#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

namespace kellix {

// The generated sound of an instrument: a packed little-endian layout created and released by
// the generator library. The 4-byte header is the library's; the song model and the mixer read
// only Format, DataSize and the 16-bit samples that follow at offset 9.
#pragma pack(push, 1)
struct SampleBlock {
    uint8_t Header[4];
    uint8_t Format;   // 1 = mono, 2 = stereo (interleaved, first channel first)
    int32_t DataSize; // bytes of Data
};
#pragma pack(pop)
static_assert(sizeof(SampleBlock) == 9, "the sample block header is packed");

constexpr uint8_t kSampleMono = 1;
constexpr uint8_t kSampleStereo = 2;

// Data starts at an odd address, so 16-bit samples are read and written through memcpy.
inline uint8_t* SampleData(SampleBlock* block) {
    return reinterpret_cast<uint8_t*>(block) + 9;
}
inline const uint8_t* SampleData(const SampleBlock* block) {
    return reinterpret_cast<const uint8_t*>(block) + 9;
}
inline int16_t LoadS16(const uint8_t* p) {
    int16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
inline void StoreS16(uint8_t* p, int16_t v) {
    std::memcpy(p, &v, 2);
}

// Every release of a sample block goes through ReleaseSample, which hands the block to the
// routine installed here (the generator library's FreeSample, by way of the script binding).
// Without one installed, blocks are not released.
using SampleReleaseFn = void (*)(SampleBlock* block);
void SetSampleRelease(SampleReleaseFn release);

// Tells whether a mixer voice may still read the block. The live output installs one so that
// a block dropped while it sounds (New, Open, fewer instruments, a regenerated script) is held
// back until its voices have ended; none means no voice ever outlives a release. The test runs
// on the thread that releases and must not wait for a thread that releases.
using SampleInUseFn = std::function<bool(const SampleBlock* block)>;
void SetSampleInUse(SampleInUseFn inUse);

// Releases the block now, or holds it back while a voice still reads it. Release routines run
// on the calling thread, never on the mixing thread.
void ReleaseSample(SampleBlock* block);
// Releases the held-back blocks that no voice reads any more and returns how many are still
// held back. Called by every ReleaseSample and by the live output's commands; a caller that
// wants prompt freeing while nothing else happens calls it from time to time.
int32_t ReleaseFinishedSamples();

// The generated sounds of a song's instruments, one per instrument, or none. The set owns its
// blocks: one that is replaced or dropped, and all of them when the set goes, are released
// through ReleaseSample. Samples are not part of the song: they are made again from the code.
class SampleSet {
  public:
    SampleSet() = default;
    ~SampleSet() { Resize(0); }
    SampleSet(const SampleSet&) = delete;
    SampleSet& operator=(const SampleSet&) = delete;
    SampleSet(SampleSet&& other) noexcept : blocks_(std::move(other.blocks_)) {}
    SampleSet& operator=(SampleSet&& other) noexcept {
        if (this != &other) {
            Resize(0);
            blocks_ = std::move(other.blocks_);
        }
        return *this;
    }

    int32_t Count() const { return static_cast<int32_t>(blocks_.size()); }
    // The sample of instrument i; none outside the set.
    const SampleBlock* At(int32_t i) const {
        return i >= 0 && i < Count() ? blocks_[static_cast<std::size_t>(i)] : nullptr;
    }
    // n instruments: the samples of the dropped ones are released, new ones have none.
    void Resize(int32_t n);
    // Gives instrument i the block (or none), releasing the one it had. Outside the set the
    // block is released at once.
    void Set(int32_t i, SampleBlock* block);

  private:
    std::vector<SampleBlock*> blocks_;
};

} // namespace kellix
