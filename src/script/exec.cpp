#include "script/exec.h"

#include "script/resample.h"
#include "script/smplescript.h"
#include "support/blocks.h"

#include <cstring>

namespace kellix {

ScriptVariables Vars;
IdentEntry* IdentTable = nullptr;
int32_t IdentCount = 0;
bool RunOverSampleLimit = false;

namespace {

GeneratorBinding g_generator;

intptr_t CellOf(int32_t& cell) {
    return reinterpret_cast<intptr_t>(&cell);
}

void AppendBuiltins(IdentEntry* out) {
    const IdentEntry builtins[kBuiltinCount] = {
        {kIdentProcedure, "RESAMPLE", reinterpret_cast<intptr_t>(&ResampleProc), 2, nullptr},
        {kIdentVariable, "WAV", CellOf(Vars.Wav), 0, nullptr},
        {kIdentVariable, "RESULT", CellOf(Vars.Result), 0, nullptr},
        {kIdentVariable, "S1", CellOf(Vars.S[0]), 0, nullptr},
        {kIdentVariable, "S2", CellOf(Vars.S[1]), 0, nullptr},
        {kIdentVariable, "S3", CellOf(Vars.S[2]), 0, nullptr},
        {kIdentVariable, "S4", CellOf(Vars.S[3]), 0, nullptr},
        {kIdentVariable, "S5", CellOf(Vars.S[4]), 0, nullptr},
        {kIdentVariable, "S6", CellOf(Vars.S[5]), 0, nullptr},
        {kIdentVariable, "S7", CellOf(Vars.S[6]), 0, nullptr},
        {kIdentVariable, "S8", CellOf(Vars.S[7]), 0, nullptr},
        {kIdentConstant, "SM_NORMAL", 0, 0, nullptr},
        {kIdentConstant, "SM_ADD", 1, 0, nullptr},
        {kIdentConstant, "SM_SUB", 2, 0, nullptr},
        {kIdentConstant, "SM_MUL", 3, 0, nullptr},
        {kIdentConstant, "FG_SIN", 0, 0, nullptr},
        {kIdentConstant, "FG_ABSSIN", 1, 0, nullptr},
        {kIdentConstant, "FG_SQUARE", 2, 0, nullptr},
        {kIdentConstant, "FG_TRIANGL", 3, 0, nullptr},
        {kIdentConstant, "FG_SAW", 4, 0, nullptr},
        {kIdentConstant, "FG_SPLINE", 5, 0, nullptr},
    };
    std::memcpy(out, builtins, sizeof builtins);
}

// Releases a block that scripts own; a block an instrument holds is the instrument's to
// release (through ReleaseSample).
void ReleaseOwned(int32_t handle) {
    if (handle != 0 && g_generator.FreeSample && g_generator.BlockOf &&
        g_generator.BlockOf(handle)) {
        g_generator.FreeSample(handle);
    }
}

void ReleaseTemporaries() {
    for (int32_t i = 0; i < 8; ++i) {
        int32_t handle = Vars.S[i];
        if (handle == 0) {
            continue;
        }
        bool releasedBefore = false;
        for (int32_t j = 0; j < i; ++j) {
            releasedBefore = releasedBefore || Vars.S[j] == handle;
        }
        // A temporary that aliases RESULT or WAV is only forgotten: the block lives on there.
        if (!releasedBefore && handle != Vars.Result && handle != Vars.Wav) {
            ReleaseOwned(handle);
        }
    }
    for (int32_t& s : Vars.S) {
        s = 0;
    }
}

} // namespace

void InitScripts(const GeneratorBinding& generator) {
    ClearProgram();
    FreeBlock(IdentTable);
    g_generator = generator;
    int32_t libraryCount = 0;
    while (generator.Table && generator.Table[libraryCount].Address != 0) {
        ++libraryCount;
    }
    AllocBlock(IdentTable,
               static_cast<std::size_t>(libraryCount + kBuiltinCount) * sizeof(IdentEntry));
    IdentCount = 0;
    for (int32_t i = 0; i < libraryCount; ++i) {
        if (UsableEntry(generator.Table[i])) {
            IdentTable[IdentCount++] = generator.Table[i];
        }
    }
    AppendBuiltins(IdentTable + IdentCount);
    IdentCount += kBuiltinCount;
    Vars.Result = 0;
    for (int32_t& s : Vars.S) {
        s = 0;
    }
}

void DoneScripts() {
    ReleaseOwned(Vars.Result);
    if (Vars.Wav != Vars.Result) {
        ReleaseOwned(Vars.Wav);
    }
    Vars.Result = 0;
    Vars.Wav = 0;
    SetIdentifierTable(nullptr, 0);
    ClearProgram();
    FreeBlock(IdentTable);
    IdentCount = 0;
}

int32_t ResampleProc(int32_t sample, int32_t) {
    if (sample != 0 && g_generator.BlockOf) {
        ResampleBlock(g_generator.BlockOf(sample));
    }
    return 0;
}

void RunScript() {
    // A sample left from a run that no instrument took, unless WAV still names it.
    if (Vars.Result != Vars.Wav) {
        ReleaseOwned(Vars.Result);
    }
    Vars.Result = 0;
    ReleaseTemporaries();
    if (g_generator.Reset) {
        g_generator.Reset();
    }
    if (g_generator.BeginRun) {
        g_generator.BeginRun();
    }
    const int32_t wavBefore = Vars.Wav;
    RunProgram();
    ReleaseTemporaries();
    // WAV owns what it names: a block it no longer names goes, unless RESULT took it.
    if (wavBefore != Vars.Wav && wavBefore != Vars.Result) {
        ReleaseOwned(wavBefore);
    }
    RunOverSampleLimit = false;
    if (g_generator.EndRun) {
        const int32_t keep[2] = {Vars.Result, Vars.Wav};
        RunOverSampleLimit = g_generator.EndRun(keep, 2) != 0;
    }
    if (RunOverSampleLimit) {
        if (Vars.Result != Vars.Wav) {
            ReleaseOwned(Vars.Result);
        }
        Vars.Result = 0;
    }
}

std::string ExeScript(const char* code, TInstrument* active) {
    SetIdentifierTable(IdentTable, IdentCount);
    CompileScript(code);
    std::string status;
    if (ErrorCode != kErrSuccess) {
        status = std::string("Error: ") + ErrorMessages[ErrorCode] + " ";
        if (code && ErrorPos >= 0) {
            status += code + ErrorPos;
        }
    } else {
        RunScript();
        status = "Ok";
    }
    if (active) {
        SampleBlock* sample =
            Vars.Result != 0 && g_generator.BlockOf ? g_generator.BlockOf(Vars.Result) : nullptr;
        // RESULT may name the block the instrument already holds (a function gave back the
        // handle WAV names): the instrument keeps it.
        if (!sample && active->Sample && Vars.Result != 0 && g_generator.HandleOf &&
            g_generator.HandleOf(active->Sample) == Vars.Result) {
            sample = active->Sample;
        }
        if (active->Sample && active->Sample != sample) {
            ReleaseSample(active->Sample);
        }
        // From now on voices may play the block: later scripts may only read it by its handle.
        if (sample && g_generator.Keep) {
            g_generator.Keep(Vars.Result);
        }
        active->Sample = sample;
        Vars.Result = 0;
    }
    return status;
}

} // namespace kellix
