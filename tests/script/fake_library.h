#pragma once

#include "script/exec.h"

#include <cstdint>
#include <string>
#include <vector>

// A stand-in for the generator library: procedures that record their calls, sample blocks
// behind handles that are never reused, and counters for releases and resets.
namespace fake {

struct Call {
    std::string Name;
    std::vector<int32_t> Args;
};

extern std::vector<Call> Calls;
extern std::vector<int32_t> Freed; // handles given to FreeSample, in order
extern int ResetCount;
extern int32_t Mode;   // set by GENERATORSAMPLEMODE, 0 after a reset
extern int32_t LibVar; // the cell of the library's variable LIBVAR

// Frees every block and clears the records.
void Clear();
int32_t NewBlock(int32_t frames, int32_t format);
kellix::SampleBlock* Block(int32_t handle);
int LiveBlocks();

// Library entries (GENERATORSAMPLEMODE, CREATESAMPLE, FREESAMPLE, REC3, FPARAMS, REC16,
// NOARGS, INERT, LIBVAR, LIBCONST, SM_MUL hiding the built-in, TOOMANY with 17 parameters,
// FILLSAMPLE, SETRESULTTO), ended by an entry whose Address is 0.
const kellix::IdentEntry* Table();
kellix::GeneratorBinding Binding();

// InitScripts with this library and SetSampleRelease through its FreeSample.
void Install();
// Index of a name in IdentTable, or -1.
int32_t EntryIndex(const char* name);

} // namespace fake
