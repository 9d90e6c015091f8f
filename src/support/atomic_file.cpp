#include "support/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace kellix {

namespace {

bool Fail(const AtomicFile& file, std::string* error, int err) {
    if (error) {
        *error = "Cannot write \"" + file.Path + "\": " + std::strerror(err);
    }
    return false;
}

std::atomic<unsigned> g_counter{0};

} // namespace

bool AtomicFileOpen(AtomicFile& file, const std::string& path, std::string* error) {
    file.Path = path;
    file.Fd = -1;
    // Saving through a symbolic link replaces the file it points to, not the link.
    std::error_code ec;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    file.Target = ec || target.empty() ? path : target.string();
    // A short name of its own in the target's folder, whatever the length of the target's.
    const std::filesystem::path folder = std::filesystem::path(file.Target).parent_path();
    for (int attempt = 0; attempt < 100 && file.Fd < 0; ++attempt) {
        std::string name = ".kellix-" + std::to_string(getpid()) + "-" +
                           std::to_string(g_counter.fetch_add(1)) + ".tmp";
        file.TempPath = (folder / name).string();
        file.Fd = open(file.TempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (file.Fd < 0 && errno != EEXIST) {
            break;
        }
    }
    if (file.Fd < 0) {
        return Fail(file, error, errno);
    }
    // Keep the permissions of a file that is being replaced.
    struct stat old;
    if (stat(file.Target.c_str(), &old) == 0 && S_ISREG(old.st_mode)) {
        fchmod(file.Fd, old.st_mode & 07777);
    }
    return true;
}

bool AtomicFileWrite(AtomicFile& file, const void* data, std::size_t size, std::string* error) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = write(file.Fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return Fail(file, error, n < 0 ? errno : EIO);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFileCommit(AtomicFile& file, std::string* error) {
    if (fsync(file.Fd) != 0) {
        int err = errno;
        AtomicFileAbort(file);
        return Fail(file, error, err);
    }
    int fd = file.Fd;
    file.Fd = -1;
    if (close(fd) != 0) {
        int err = errno;
        unlink(file.TempPath.c_str());
        return Fail(file, error, err);
    }
    if (std::rename(file.TempPath.c_str(), file.Target.c_str()) != 0) {
        int err = errno;
        unlink(file.TempPath.c_str());
        return Fail(file, error, err);
    }
    return true;
}

void AtomicFileAbort(AtomicFile& file) {
    if (file.Fd >= 0) {
        close(file.Fd);
        file.Fd = -1;
    }
    if (!file.TempPath.empty()) {
        unlink(file.TempPath.c_str());
    }
}

bool WriteFileAtomically(const std::string& path, const void* data, std::size_t size,
                         std::string* error) {
    AtomicFile file;
    if (!AtomicFileOpen(file, path, error)) {
        return false;
    }
    if (!AtomicFileWrite(file, data, size, error)) {
        AtomicFileAbort(file);
        return false;
    }
    return AtomicFileCommit(file, error);
}

} // namespace kellix
