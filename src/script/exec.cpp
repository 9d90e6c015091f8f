#include "script/exec.h"

#include "script/resample.h"
#include "script/scripting.h"

#include <cstring>

namespace kellix {

namespace {

// The library's look-up of a block by handle, for RESAMPLE, whose entry takes no context: the
// binding of the scripting made last, which is the program's one.
SampleBlock* (*g_resampleBlockOf)(int32_t handle) = nullptr;

intptr_t CellOf(int32_t& cell) {
    return reinterpret_cast<intptr_t>(&cell);
}

void AppendBuiltins(std::vector<IdentEntry>& table, ScriptVariables& vars) {
    const IdentEntry builtins[kBuiltinCount] = {
        {kIdentProcedure, "RESAMPLE", reinterpret_cast<intptr_t>(&ResampleProc), 2, nullptr},
        {kIdentVariable, "WAV", CellOf(vars.Wav), 0, nullptr},
        {kIdentVariable, "RESULT", CellOf(vars.Result), 0, nullptr},
        {kIdentVariable, "S1", CellOf(vars.S[0]), 0, nullptr},
        {kIdentVariable, "S2", CellOf(vars.S[1]), 0, nullptr},
        {kIdentVariable, "S3", CellOf(vars.S[2]), 0, nullptr},
        {kIdentVariable, "S4", CellOf(vars.S[3]), 0, nullptr},
        {kIdentVariable, "S5", CellOf(vars.S[4]), 0, nullptr},
        {kIdentVariable, "S6", CellOf(vars.S[5]), 0, nullptr},
        {kIdentVariable, "S7", CellOf(vars.S[6]), 0, nullptr},
        {kIdentVariable, "S8", CellOf(vars.S[7]), 0, nullptr},
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
    table.insert(table.end(), std::begin(builtins), std::end(builtins));
}

} // namespace

int32_t ResampleProc(int32_t sample, int32_t) {
    if (sample != 0 && g_resampleBlockOf) {
        ResampleBlock(g_resampleBlockOf(sample));
    }
    return 0;
}

struct Scripting::State {
    GeneratorBinding Generator;
    ScriptVariables Vars;
    CompiledScript Program;

    // Releases a block that scripts own; a block an instrument holds is the instrument's to
    // release (through ReleaseSample).
    void ReleaseOwned(int32_t handle) const {
        if (handle != 0 && Generator.FreeSample && Generator.BlockOf && Generator.BlockOf(handle)) {
            Generator.FreeSample(handle);
        }
    }

    // Releases the temporaries S1..S8, each distinct block once, never the one RESULT or WAV
    // holds, and forgets them.
    void ReleaseTemporaries() {
        for (int32_t i = 0; i < 8; ++i) {
            const int32_t handle = Vars.S[i];
            bool releasedBefore = false;
            for (int32_t j = 0; j < i; ++j) {
                releasedBefore = releasedBefore || Vars.S[j] == handle;
            }
            // A temporary that aliases RESULT or WAV is only forgotten: the block lives on there.
            if (handle != 0 && !releasedBefore && handle != Vars.Result && handle != Vars.Wav) {
                ReleaseOwned(handle);
            }
        }
        for (int32_t& s : Vars.S) {
            s = 0;
        }
    }

    // Runs the compiled program: releases a sample left in RESULT (unless WAV names it) and
    // the temporaries, resets the library, runs, and releases the temporaries again and the
    // block WAV stopped naming. Then every other block the run created is released too (one
    // whose variable was overwritten, or that no variable held): only RESULT and WAV keep
    // theirs. A run that was refused a block for the sample memory limit ends with RESULT 0.
    // No block an instrument holds is released. Returns whether the limit refused a block.
    bool RunProgram() {
        if (Vars.Result != Vars.Wav) {
            ReleaseOwned(Vars.Result);
        }
        Vars.Result = 0;
        ReleaseTemporaries();
        if (Generator.Reset) {
            Generator.Reset();
        }
        if (Generator.BeginRun) {
            Generator.BeginRun();
        }
        const int32_t wavBefore = Vars.Wav;
        Program.Run();
        ReleaseTemporaries();
        // WAV owns what it names: a block it no longer names goes, unless RESULT took it.
        if (wavBefore != Vars.Wav && wavBefore != Vars.Result) {
            ReleaseOwned(wavBefore);
        }
        bool overLimit = false;
        if (Generator.EndRun) {
            const int32_t keep[2] = {Vars.Result, Vars.Wav};
            overLimit = Generator.EndRun(keep, 2) != 0;
        }
        if (overLimit) {
            if (Vars.Result != Vars.Wav) {
                ReleaseOwned(Vars.Result);
            }
            Vars.Result = 0;
        }
        return overLimit;
    }
};

Scripting::Scripting(const GeneratorBinding& generator) : state_(std::make_unique<State>()) {
    state_->Generator = generator;
    g_resampleBlockOf = generator.BlockOf;
    // Entries the compiler cannot use (such as one with more than 16 parameters) are left out.
    for (const IdentEntry* e = generator.Table; e && e->Address != 0; ++e) {
        if (UsableEntry(*e)) {
            table_.push_back(*e);
        }
    }
    AppendBuiltins(table_, state_->Vars);
}

Scripting::~Scripting() {
    ScriptVariables& vars = state_->Vars;
    state_->ReleaseOwned(vars.Result);
    if (vars.Wav != vars.Result) {
        state_->ReleaseOwned(vars.Wav);
    }
    state_->Program.Clear();
}

ScriptVariables& Scripting::Variables() {
    return state_->Vars;
}

ScriptRun Scripting::RunAlone(std::string_view code) {
    const std::string text(code);
    const CompileResult compiled =
        state_->Program.Compile(text.c_str(), table_.data(), static_cast<int32_t>(table_.size()));
    ScriptRun run;
    run.ErrorCode = compiled.ErrorCode;
    run.ErrorPos = compiled.ErrorPos;
    run.Warnings = compiled.Warnings;
    if (!run.Compiled()) {
        run.Status = std::string("Error: ") + ErrorMessages[run.ErrorCode] + " ";
        if (run.ErrorPos >= 0) {
            run.Status += text.c_str() + run.ErrorPos;
        }
    } else {
        run.OverSampleLimit = state_->RunProgram();
        run.Status = "Ok";
    }
    return run;
}

ScriptRun Scripting::Run(std::string_view code, const SampleBlock* held) {
    ScriptRun run = RunAlone(code);
    const GeneratorBinding& g = state_->Generator;
    int32_t& result = state_->Vars.Result;
    SampleBlock* sample = result != 0 && g.BlockOf ? g.BlockOf(result) : nullptr;
    // RESULT may name the block the instrument already holds (a function gave back the handle
    // WAV names): the instrument keeps it.
    if (!sample && held && result != 0 && g.HandleOf && g.HandleOf(held) == result) {
        sample = const_cast<SampleBlock*>(held);
    }
    // From now on voices may play the block: later scripts may only read it by its handle.
    if (sample && g.Keep) {
        g.Keep(result);
    }
    run.Sample = sample;
    result = 0;
    return run;
}

void MakeMissingSamples(Scripting& scripts, const TTrack& song, SampleSet& samples,
                        const RunReport& report) {
    for (int32_t k = song.InstrumentCount() - 1; k >= 0; --k) {
        if (samples.At(k)) {
            continue;
        }
        ScriptRun run = scripts.Run(song.Instrument[k].Code.Text());
        samples.Set(k, run.Sample);
        if (report) {
            report(k, run);
        }
    }
}

} // namespace kellix
