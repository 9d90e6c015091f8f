#pragma once

namespace kellix {

// Shows the message and ends the program with a non-zero exit status. The way the message is
// shown is pluggable: the window installs a message box, everything else writes
// "Error!: <message>" to stderr.
[[noreturn]] void FatalError(const char* message);

using FatalErrorDisplay = void (*)(const char* message);
// Installs the routine that shows fatal messages; nullptr restores the stderr default.
void SetFatalErrorDisplay(FatalErrorDisplay display);

} // namespace kellix
