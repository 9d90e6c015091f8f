#include "ui/model/run_notes.h"

#include "support/text.h"

#include <algorithm>
#include <cstring>

namespace kellix {

std::string RunNotes::Strip() const {
    if (Warnings.size() == 1) {
        return Warnings.front();
    }
    std::string strip;
    for (const std::string& warning : Warnings) {
        strip += (strip.empty() ? std::to_string(Warnings.size()) + " warnings: " : "; ") + warning;
    }
    return strip;
}

std::string RunNotes::List() const {
    std::string list;
    for (const std::string& warning : Warnings) {
        list += (list.empty() ? "" : "\n") + warning;
    }
    return list;
}

RunNotes NotesOfRun(const ScriptRun& run, std::string_view code) {
    // Positions count in the text up to its first zero byte, as the compiler read it.
    const std::string text(code);
    const char* c = text.c_str();
    RunNotes notes;
    for (const CompileWarning& warning : run.Warnings) {
        const int line = LineOfPosition(c, warning.Pos);
        notes.WarningLines.push_back(line);
        notes.Warnings.push_back("line " + std::to_string(line) + ": " + warning.Text);
    }
    if (!run.Compiled()) {
        notes.ErrorLine = LineOfPosition(c, run.ErrorPos);
        const std::size_t length = std::strlen(c);
        const std::size_t from =
            run.ErrorPos >= 0 ? std::min(static_cast<std::size_t>(run.ErrorPos), length) : length;
        notes.Status = std::string("Error: ") + ErrorMessages[run.ErrorCode] + " " +
                       std::string(c + from, std::strcspn(c + from, "\r\n")) + " (line " +
                       std::to_string(notes.ErrorLine) + ")";
    } else {
        notes.Status = run.Status;
    }
    return notes;
}

} // namespace kellix
