// Sample blocks and the handle table that scripts refer to them by.
#pragma once

#include "morvane.h"

#include <cstddef>
#include <cstdint>

namespace morvane {

constexpr int32_t kSampleRate = 44100;
constexpr int32_t kMaxFrames = 2646000; // one minute
constexpr size_t kHeaderSize = 9;       // handle, Format, DataSize

// A resolved block: its 16-bit data (at an odd address, so always accessed through memcpy),
// interleaved when stereo.
struct Block {
    uint8_t* data = nullptr;
    int32_t frames = 0;
    int32_t channels = 0;
};

// A new zero-filled block and its handle, or 0 when the length or format is not accepted or
// the handles are used up.
int32_t NewBlock(int32_t frames, int32_t channels);
int32_t CopyBlock(int32_t handle);
// Scripts may release only the blocks they can reach; the program releases any block.
enum class Releaser { Script, Program };
void ReleaseBlock(int32_t handle, Releaser by);
// False for 0, for handles whose block was released and for blocks the program keeps.
bool Resolve(int32_t handle, Block& out);
// For a block a procedure only reads (a copy's original, a source, a modulator): blocks the
// program keeps resolve too, since reading them takes nothing from the voices playing them.
bool ResolveSource(int32_t handle, Block& out);
void* BlockPointer(int32_t handle);
// Hands a block over to the program (an instrument's sample, which voices may be playing):
// from then on no script procedure can write, resample or release it.
void KeepBlock(int32_t handle);
int32_t HandleOf(const void* block);

// Script runs: see MorvaneBeginRun and MorvaneEndRun.
constexpr uint64_t kRunSampleBytes = MORVANE_RUN_SAMPLE_BYTES;
void BeginRun();
bool EndRun(const int32_t* keep, int32_t count);
int32_t LiveBlocks();
uint64_t LiveBytes(); // headers and data of the blocks alive

} // namespace morvane
