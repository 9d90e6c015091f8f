#pragma once

#include <cstddef>
#include <string>

namespace kellix {

// A file written so that a failure part-way never leaves a truncated file under the user's
// name, and so that nothing but the file the user named is ever changed:
// - A regular file, or a name that does not exist yet, is written into an unnamed temporary
//   file in the target's folder that is linked into place when complete; where the file system
//   has no unnamed files, into a named temporary that is removed on failure and on SIGINT,
//   SIGTERM, SIGHUP and SIGXFSZ (see signal_cleanup.h). An existing regular file the user may
//   not write is refused ("Permission denied"), never replaced.
// - An existing regular file keeps its permissions, owner and group. Where the new file cannot
//   be given them (a file of another user, a group the user is not in), where the file has
//   other names (hard links), or where its folder may not be written, the file is written over
//   in place instead: the whole new content still goes into a temporary first (in the system's
//   temporary folder when the target's folder is closed), and only the commit copies it over
//   the file, so that a failed write leaves the file untouched. A failure during that copy says
//   that the file may hold part of the new content and names the file that keeps all of it.
// - A device, FIFO or socket is written directly as a stream: it is never replaced.
// - "/dev/stdout", "/dev/stderr", "/dev/fd/N" and "/proc/self/fd/N" write to that descriptor
//   of this process as a stream, wherever it leads.
// - Writing through a symbolic link writes the file it points to.
// Errors are messages naming the file as the caller named it and the reason.
struct AtomicFile {
    int Fd = -1;
    std::string Path;     // as the caller named it (in messages)
    std::string Target;   // the file written: Path with symbolic links resolved
    std::string Folder;   // the temporary's folder
    std::string TempPath; // the temporary's name in its folder, empty while it has none
    bool Stream = false;  // written directly, nothing to rename
    bool Unnamed = false; // the temporary has no name until it is committed
    bool InPlace = false; // the commit copies the temporary over the target
    int Ticket = -1;      // registration of the named temporary for removal on signals
};

bool AtomicFileOpen(AtomicFile& file, const std::string& path, std::string* error);
bool AtomicFileWrite(AtomicFile& file, const void* data, std::size_t size, std::string* error);
// Flushes to disk, closes and puts the file in place of the target (or its content into the
// target, for a file written in place).
bool AtomicFileCommit(AtomicFile& file, std::string* error);
// Closes and removes the temporary file; the target is untouched (a stream keeps what it got).
void AtomicFileAbort(AtomicFile& file);

// The whole text written at once, through the functions above.
bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string* error);

// Whether two names lead to the same file: the same device and inode when both exist, else the
// same path once symbolic links and "." and ".." are resolved. Writing one of them must not
// destroy the other (a song rendered onto itself).
bool SameFile(const std::string& a, const std::string& b);

// Tests only: use named temporaries even where the file system has unnamed ones.
void UseNamedTemporariesOnly(bool namedOnly);

} // namespace kellix
