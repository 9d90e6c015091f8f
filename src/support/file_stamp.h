#pragma once

#include <cstdint>
#include <string>

namespace kellix {

// What tells, without reading it, whether a file is still the one last read or written: the
// file itself (device and inode), its size and its last modification. A save that replaced the
// file, a write into it or its removal all change the stamp.
struct FileStamp {
    bool Exists = false;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t Size = 0;
    int64_t ModifiedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

// The stamp of the file a path leads to (symbolic links followed); Exists is false when there
// is none.
FileStamp StampOf(const std::string& path);

// Whether the path names nothing at all (as opposed to a file that cannot be read now).
bool PathIsMissing(const std::string& path);

} // namespace kellix
