#pragma once

#include "script/ident.h"
#include "song/track.h"

#include <cstdint>
#include <string>

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
extern ScriptVariables Vars;

// The library's entries (in its order) followed by the 21 built-in names, from InitScripts
// until DoneScripts.
extern IdentEntry* IdentTable;
extern int32_t IdentCount;
constexpr int32_t kBuiltinCount = 21;

// Program start: builds IdentTable from the binding's table (entries the compiler cannot use,
// such as one with more than 16 parameters, are left out), sets RESULT and S1..S8 to 0.
void InitScripts(const GeneratorBinding& generator);
// Program end: frees the samples left in RESULT and WAV (unless an instrument holds them) and
// the identifier table.
void DoneScripts();

// Runs the last compiled program: releases a sample left in RESULT (unless WAV names it) and
// the temporaries S1..S8, resets the library, runs, and releases the temporaries again (each
// distinct block once, never the one RESULT or WAV holds) and the block WAV stopped naming.
// Then every other block the run created is released too (one whose variable was overwritten,
// or that no variable held): only RESULT and WAV keep theirs. A run that was refused a block
// for the sample memory limit ends with RESULT 0. No block an instrument holds is released.
void RunScript();

// Whether the last run was refused a sample block for the sample memory limit.
extern bool RunOverSampleLimit;

// The built-in RESAMPLE(sample, ignored): frequency doubling of the block behind the handle.
int32_t ResampleProc(int32_t sample, int32_t ignored);

// Compiles and, when the text compiled, runs an instrument's code. With an active instrument
// its old sample is released (through ReleaseSample), it takes the block of RESULT (or none;
// it keeps its sample when RESULT names that) and RESULT becomes 0; without one RESULT keeps
// the sample until the next run. A block another instrument holds is not taken. Returns the
// status text: "Ok", or "Error: " + message + " " + the code text from the error position to
// its end. ErrorCode tells whether the text compiled.
std::string ExeScript(const char* code, TInstrument* active);

} // namespace kellix
