#pragma once

#include "script/exec.h"
#include "script/smplescript.h"
#include "song/sample.h"
#include "song/track.h"

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace kellix {

// What one run of an instrument's code gave: the sample it made (or none) and how the code
// compiled.
struct ScriptRun {
    // The block RESULT held at the end, handed over to the caller (release it through
    // ReleaseSample, or give it to a SampleSet); none without a result. A failed compilation
    // runs nothing, so RESULT then holds what a run for no instrument left there, if anything.
    SampleBlock* Sample = nullptr;
    int32_t ErrorCode = kErrSuccess;
    // The byte offset of the offending token in the code, -1 without an error.
    std::ptrdiff_t ErrorPos = -1;
    // "Ok", or "Error: " + message + " " + the code from the error position to its end.
    std::string Status = "Ok";
    // What the compiler accepted that is most likely a mistake, in the order of the code.
    std::vector<CompileWarning> Warnings;
    // The run was refused a sample block for the sample memory limit.
    bool OverSampleLimit = false;

    bool Compiled() const { return ErrorCode == kErrSuccess; }
};

// The script language bound to a generator library: its identifier table, the compiled program
// and the variables RESULT, S1..S8 and WAV. One exists while scripts can run (the program makes
// it at start); runs happen one at a time on the thread that owns it.
class Scripting {
  public:
    explicit Scripting(const GeneratorBinding& generator);
    ~Scripting();
    Scripting(const Scripting&) = delete;
    Scripting& operator=(const Scripting&) = delete;

    // Compiles the code and, when it compiled, runs it for an instrument that holds the sample
    // held (or none): the block RESULT holds at the end goes to the caller in Sample and RESULT
    // is 0 again. When RESULT names the held block, Sample is that block; a block another
    // instrument holds is not taken.
    ScriptRun Run(std::string_view code, const SampleBlock* held = nullptr);
    // The same for no instrument: RESULT keeps its block until the next run.
    ScriptRun RunAlone(std::string_view code);

    // The names scripts can use: the library's procedures and constants, then the built-ins.
    const std::vector<IdentEntry>& Names() const { return table_; }
    // The variables as the last run left them and the next one finds them.
    ScriptVariables& Variables();

  private:
    struct State;
    std::unique_ptr<State> state_;
    std::vector<IdentEntry> table_;
};

// Makes the sample of every instrument that has none, from the last instrument to the first
// (an instrument without code runs the empty code), and gives each its sample. Each run is
// reported, with its instrument, after the set took the sample.
using RunReport = std::function<void(int32_t instrument, const ScriptRun& run)>;
void MakeMissingSamples(Scripting& scripts, const TTrack& song, SampleSet& samples,
                        const RunReport& report = {});

} // namespace kellix
