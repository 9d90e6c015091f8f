#include "support/file_stamp.h"

#include <cerrno>
#include <sys/stat.h>

namespace kellix {

FileStamp StampOf(const std::string& path) {
    struct stat info;
    if (stat(path.c_str(), &info) != 0) {
        return {};
    }
    return FileStamp{true, static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
                     static_cast<int64_t>(info.st_size),
                     int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}

bool PathIsMissing(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

} // namespace kellix
