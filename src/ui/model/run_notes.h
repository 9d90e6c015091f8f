#pragma once

#include "script/scripting.h"

#include <string>
#include <string_view>
#include <vector>

namespace kellix {

// How the window tells a run of an instrument's code: the status bar's text, the line of the
// error, and the compiler's warnings, each with the line it concerns (lines from 1).
struct RunNotes {
    // "Ok", or "Error: " + the message + " " + the rest of the offending line from the error's
    // position + " (line N)".
    std::string Status = "Ok";
    int ErrorLine = 0; // 0 without an error
    std::vector<int> WarningLines;
    // "line 3: " + the compiler's text, in the order of the code.
    std::vector<std::string> Warnings;

    // The warnings as one line: the only one as it is; several counted, then each after the
    // other ("2 warnings: line 1: ...; line 4: ..."). Empty without warnings.
    std::string Strip() const;
    // Every warning on a line of its own.
    std::string List() const;
};

// The notes of a run of code (the text that ran).
RunNotes NotesOfRun(const ScriptRun& run, std::string_view code);

} // namespace kellix
