#pragma once

#include <string>

namespace kellix {

// Temporary files that must not outlive the program. While at least one is registered,
// SIGINT, SIGTERM, SIGHUP and SIGXFSZ first remove every registered file and then take the
// course they would have taken: the handler installed before runs, or the signal's default
// action ends the program. A signal that was ignored stays ignored and removes nothing. The
// handlers are in place only while something is registered, and the previous ones come back
// afterwards, so a program that sets handlers of its own keeps them.

// Registers a file that does not exist yet or is about to be renamed away. Returns a ticket
// for ForgetTemporary, or -1 when the path is too long or too many files are registered (the
// file is then not removed on a signal).
int RegisterTemporary(const std::string& path);

// Ends a registration. Returns false when a signal handler removed the file meanwhile.
bool ForgetTemporary(int ticket);

} // namespace kellix
