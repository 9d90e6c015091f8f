#pragma once

#include <cstdint>
#include <cstring>

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
// back until its voices have ended; nullptr means no voice ever outlives a release.
using SampleInUseFn = bool (*)(const SampleBlock* block);
void SetSampleInUse(SampleInUseFn inUse);

// Releases the block now, or holds it back while a voice still reads it. Release routines run
// on the calling thread, never on the mixing thread.
void ReleaseSample(SampleBlock* block);
// Releases the held-back blocks that no voice reads any more and returns how many are still
// held back. Called by every ReleaseSample and by the live output's commands; a caller that
// wants prompt freeing while nothing else happens calls it from time to time.
int32_t ReleaseFinishedSamples();

} // namespace kellix
