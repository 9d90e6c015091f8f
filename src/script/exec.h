#pragma once

#include "script/ident.h"
#include "song/sample.h"

#include <cstdint>

namespace kellix {

// The generator library as script execution sees it. The program binds the real library
// (StartScripting in script/dllgen.h); tests bind tables of their own.
struct GeneratorBinding {
    // The library's entries, ended by the first entry whose Address is 0. Copied at start.
    const IdentEntry* Table = nullptr;
    // Releases the block behind a handle and returns 0; 0 or a stale handle does nothing.
    int32_t (*FreeSample)(int32_t handle) = nullptr;
    // The block behind a handle, or null for 0, stale handles and blocks the program keeps:
    // script execution releases only blocks this resolves.
    SampleBlock* (*BlockOf)(int32_t handle) = nullptr;
    // The handle of a block, kept or not (0 for null).
    int32_t (*HandleOf)(const SampleBlock* block) = nullptr;
    // Returns the library's generation settings to their start values.
    void (*Reset)() = nullptr;
    // Hands a block over to the program: scripts can only read it by its handle from then on.
    void (*Keep)(int32_t handle) = nullptr;
    // A run's bounds: blocks created between them belong to the run, which may hold a limited
    // amount of sample memory at once. EndRun releases the run's blocks except the handles in
    // keep and returns non-zero when a block was refused for the limit.
    void (*BeginRun)() = nullptr;
    int32_t (*EndRun)(const int32_t* keep, int32_t count) = nullptr;
};

// The script variables: 32-bit cells holding sample handles (0 for none). WAV carries a block
// from run to run and owns it: when a run stores another block in WAV, the one it named is
// released, unless RESULT took it in that run or an instrument holds it. An instrument's block
// stays the instrument's: scripts may still read it through WAV, and once the instrument lets
// it go, WAV names nothing (its handle resolves to no block, as 0 does) until a run stores
// another block in it.
struct ScriptVariables {
    int32_t Result = 0;
    int32_t Wav = 0;
    int32_t S[8] = {};
};

// The built-in names that follow the library's entries in a scripting's identifier table.
constexpr int32_t kBuiltinCount = 21;

// The built-in RESAMPLE(sample, ignored): frequency doubling of the block behind the handle,
// resolved through the library of the scripting made last.
int32_t ResampleProc(int32_t sample, int32_t ignored);

} // namespace kellix
