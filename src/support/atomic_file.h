#pragma once

#include <cstddef>
#include <string>

namespace kellix {

// A file written under a temporary name in the target's folder and renamed over the target
// only when everything was written, so a failure part-way never leaves a truncated file under
// the user's name. Errors are messages naming the target file and the reason.
struct AtomicFile {
    int Fd = -1;
    std::string Path;   // as the caller named it (in messages)
    std::string Target; // the file replaced: Path with symbolic links resolved
    std::string TempPath;
};

bool AtomicFileOpen(AtomicFile& file, const std::string& path, std::string* error);
bool AtomicFileWrite(AtomicFile& file, const void* data, std::size_t size, std::string* error);
// Flushes to disk, closes and renames over the target.
bool AtomicFileCommit(AtomicFile& file, std::string* error);
// Closes and removes the temporary file; the target is untouched.
void AtomicFileAbort(AtomicFile& file);

// The whole text written at once, through the functions above.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string* error);

} // namespace kellix
