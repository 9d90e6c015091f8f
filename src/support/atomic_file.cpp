#include "support/atomic_file.h"

#include "support/signal_cleanup.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace kellix {

namespace {

bool FailWith(const AtomicFile& file, std::string* error, const std::string& reason) {
    if (error) {
        *error = "Cannot write \"" + file.Path + "\": " + reason;
    }
    return false;
}

bool Fail(const AtomicFile& file, std::string* error, int err) {
    return FailWith(file, error, std::strerror(err));
}

std::atomic<unsigned> g_counter{0};
std::atomic<bool> g_namedOnly{false};

// The descriptor a path names directly, or -1.
int DescriptorOf(const std::string& path) {
    if (path == "/dev/stdout") {
        return STDOUT_FILENO;
    }
    if (path == "/dev/stderr") {
        return STDERR_FILENO;
    }
    for (const char* prefix : {"/dev/fd/", "/proc/self/fd/"}) {
        const std::size_t length = std::strlen(prefix);
        if (path.size() > length && path.size() <= length + 9 &&
            path.compare(0, length, prefix) == 0 &&
            path.find_first_not_of("0123456789", length) == std::string::npos) {
            return std::stoi(path.substr(length));
        }
    }
    return -1;
}

std::string TempName(const std::string& folder) {
    return folder + "/.kellix-" + std::to_string(getpid()) + "-" +
           std::to_string(g_counter.fetch_add(1)) + ".tmp";
}

// A device or FIFO is opened for writing, a socket connected to.
int OpenStream(const std::string& target, const struct stat& st) {
    if (!S_ISSOCK(st.st_mode)) {
        return open(target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (target.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::memcpy(address.sun_path, target.c_str(), target.size() + 1);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        int err = errno;
        close(fd);
        errno = err;
        return -1;
    }
    return fd;
}

// An unnamed file in the folder that can be linked in by its /proc name at commit.
int OpenUnnamed(const std::string& folder) {
    int fd = open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0) {
        return -1;
    }
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    if (access(self.c_str(), F_OK) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Makes a file of a new temporary name in the folder, registered for removal on signals before
// it exists; tries other names while the one chosen is taken.
template <class Create>
bool MakeTemporary(AtomicFile& file, const std::string& folder, Create create) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        file.TempPath = TempName(folder);
        file.Ticket = RegisterTemporary(file.TempPath);
        if (create(file.TempPath)) {
            return true;
        }
        int err = errno;
        ForgetTemporary(file.Ticket);
        file.Ticket = -1;
        file.TempPath.clear();
        errno = err;
        if (err != EEXIST) {
            break;
        }
    }
    return false;
}

// A new named file in the folder.
bool OpenNamed(AtomicFile& file, const std::string& folder) {
    return MakeTemporary(file, folder, [&file](const std::string& path) {
        file.Fd = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        return file.Fd >= 0;
    });
}

// The temporary in file.Folder: unnamed where the file system allows, else named.
bool OpenTemporary(AtomicFile& file) {
    file.Fd = g_namedOnly.load() ? -1 : OpenUnnamed(file.Folder);
    file.Unnamed = file.Fd >= 0;
    return file.Unnamed || OpenNamed(file, file.Folder);
}

// Gives the unnamed temporary a name of its own in its folder.
bool LinkUnnamed(AtomicFile& file) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.Fd);
    return MakeTemporary(file, file.Folder, [&self](const std::string& path) {
        return linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0;
    });
}

// Gives the temporary the owner, group and permissions of the file it is to replace; false
// where the process may not (the kernel also drops a set-group-ID bit silently).
bool TakeOwnerAndMode(int fd, const struct stat& target) {
    struct stat mine;
    if (fstat(fd, &mine) != 0) {
        return false;
    }
    const uid_t uid = mine.st_uid == target.st_uid ? static_cast<uid_t>(-1) : target.st_uid;
    const gid_t gid = mine.st_gid == target.st_gid ? static_cast<gid_t>(-1) : target.st_gid;
    if ((uid != static_cast<uid_t>(-1) || gid != static_cast<gid_t>(-1)) &&
        fchown(fd, uid, gid) != 0) {
        return false;
    }
    return fchmod(fd, target.st_mode & 07777) == 0 && fstat(fd, &mine) == 0 &&
           (mine.st_mode & 07777) == (target.st_mode & 07777);
}

std::string FolderOf(const std::string& target) {
    std::string folder = std::filesystem::path(target).parent_path().string();
    return folder.empty() ? "." : folder;
}

std::filesystem::path ResolvedPath(const std::string& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
    if (ec) {
        resolved = std::filesystem::absolute(path, ec).lexically_normal();
    }
    return ec ? std::filesystem::path(path).lexically_normal() : resolved;
}

// Removes the named temporary, if any, and ends its registration. False when a signal
// removed it first.
bool DropTemporary(AtomicFile& file) {
    if (!file.TempPath.empty()) {
        unlink(file.TempPath.c_str());
        file.TempPath.clear();
    }
    bool kept = ForgetTemporary(file.Ticket);
    file.Ticket = -1;
    return kept;
}

// Gives up the temporary but keeps the file, with a name: the complete content after a copy in
// place failed. Returns the name, or an empty text when none could be given.
std::string KeepTemporary(AtomicFile& file) {
    fsync(file.Fd);
    if (file.Unnamed && !LinkUnnamed(file)) {
        file.TempPath.clear();
    }
    close(file.Fd);
    file.Fd = -1;
    std::string kept = ForgetTemporary(file.Ticket) ? file.TempPath : std::string();
    file.Ticket = -1;
    file.TempPath.clear();
    return kept;
}

// Writes all of data at offset of fd; false with errno set when it cannot. Sets touched once
// anything was written.
bool WriteAllAt(int fd, const char* data, std::size_t size, off_t offset, bool& touched) {
    while (size > 0) {
        ssize_t n = pwrite(fd, data, size, offset);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            errno = n < 0 ? errno : EIO;
            return false;
        }
        touched = true;
        data += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
    return true;
}

// Copies the temporary over the target, which keeps its inode, names, owner and permissions.
// The target is not touched before the temporary holds everything and the disk has room for it.
bool CommitInPlace(AtomicFile& file, std::string* error) {
    struct stat held;
    if (fstat(file.Fd, &held) != 0) {
        const int err = errno;
        AtomicFileAbort(file);
        return Fail(file, error, err);
    }
    const off_t size = held.st_size;
    // Without blocking on a FIFO that took the file's place meanwhile.
    const int fd = open(file.Target.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat st {};
    const bool opened = fd >= 0 && fstat(fd, &st) == 0;
    if (!opened || !S_ISREG(st.st_mode)) {
        const int err = opened ? 0 : errno;
        if (fd >= 0) {
            close(fd);
        }
        AtomicFileAbort(file);
        return err ? Fail(file, error, err) : FailWith(file, error, "it is no longer a file");
    }
    if (size > 0 && fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size) != 0 &&
        (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
        const int err = errno;
        close(fd);
        AtomicFileAbort(file);
        return Fail(file, error, err);
    }
    std::vector<char> buffer(std::size_t{1} << 16);
    off_t done = 0;
    int err = 0;
    bool touched = false;
    while (done < size && err == 0) {
        const auto want = static_cast<std::size_t>(
            std::min<off_t>(static_cast<off_t>(buffer.size()), size - done));
        const ssize_t n = pread(file.Fd, buffer.data(), want, done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            err = n < 0 ? errno : EIO;
        } else if (!WriteAllAt(fd, buffer.data(), static_cast<std::size_t>(n), done, touched)) {
            err = errno;
        } else {
            done += n;
        }
    }
    if (err == 0 && ftruncate(fd, size) != 0) {
        err = errno;
    } else if (err == 0) {
        touched = touched || size != st.st_size;
    }
    if (err == 0 && fsync(fd) != 0) {
        err = errno;
    }
    if (close(fd) != 0 && err == 0) {
        err = errno;
    }
    if (err == 0 || !touched) {
        AtomicFileAbort(file);
        return err == 0 || Fail(file, error, err);
    }
    // The content was complete before the file was touched: say where it still is.
    const std::string kept = KeepTemporary(file);
    return FailWith(file, error,
                    std::string(std::strerror(err)) +
                        "; it was being written over in place and may now hold only part of "
                        "the new content" +
                        (kept.empty() ? "" : "; all of it is in \"" + kept + "\""));
}

} // namespace

void UseNamedTemporariesOnly(bool namedOnly) {
    g_namedOnly.store(namedOnly);
}

bool AtomicFileOpen(AtomicFile& file, const std::string& path, std::string* error) {
    file = AtomicFile{};
    file.Path = path;
    if (int descriptor = DescriptorOf(path); descriptor >= 0) {
        file.Target = path;
        file.Stream = true;
        file.Fd = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
        return file.Fd >= 0 || Fail(file, error, errno);
    }
    // Saving through a symbolic link writes the file it points to, not the link.
    std::error_code ec;
    std::filesystem::path target = std::filesystem::weakly_canonical(path, ec);
    file.Target = ec || target.empty() ? path : target.string();

    struct stat st;
    const bool exists = stat(file.Target.c_str(), &st) == 0;
    if (!exists && errno != ENOENT) {
        return Fail(file, error, errno);
    }
    if (exists && S_ISDIR(st.st_mode)) {
        return Fail(file, error, EISDIR);
    }
    if (exists && !S_ISREG(st.st_mode)) {
        file.Stream = true;
        file.Fd = OpenStream(file.Target, st);
        return file.Fd >= 0 || Fail(file, error, errno);
    }
    // The rename would replace a file whatever its permissions: ask as writing in place would.
    if (exists && faccessat(AT_FDCWD, file.Target.c_str(), W_OK, AT_EACCESS) != 0) {
        return Fail(file, error, errno);
    }

    file.Folder = FolderOf(file.Target);
    if (!OpenTemporary(file)) {
        // A file the user may write in a folder the user may not is written over in place,
        // from a temporary kept elsewhere.
        const int err = errno;
        if (!exists || (err != EACCES && err != EPERM)) {
            return Fail(file, error, err);
        }
        file.Folder = std::filesystem::temp_directory_path(ec).string();
        if (ec || !OpenTemporary(file)) {
            return Fail(file, error, err);
        }
        file.InPlace = true;
    }
    // A rename would give the file to this user, or cut it off from its other names.
    if (exists && !file.InPlace) {
        file.InPlace = st.st_nlink > 1 || !TakeOwnerAndMode(file.Fd, st);
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
    if (file.Stream) {
        // Pipes, sockets and most devices cannot be flushed to disk, and need not be.
        struct stat st;
        int err =
            fstat(file.Fd, &st) == 0 && S_ISREG(st.st_mode) && fsync(file.Fd) != 0 ? errno : 0;
        if (close(file.Fd) != 0 && err == 0) {
            err = errno;
        }
        file.Fd = -1;
        return err == 0 || Fail(file, error, err);
    }
    if (fsync(file.Fd) != 0) {
        int err = errno;
        AtomicFileAbort(file);
        return Fail(file, error, err);
    }
    if (file.InPlace) {
        return CommitInPlace(file, error);
    }
    if (file.Unnamed && !LinkUnnamed(file)) {
        int err = errno;
        AtomicFileAbort(file);
        return Fail(file, error, err);
    }
    int fd = file.Fd;
    file.Fd = -1;
    if (close(fd) != 0) {
        int err = errno;
        DropTemporary(file);
        return Fail(file, error, err);
    }
    if (std::rename(file.TempPath.c_str(), file.Target.c_str()) != 0) {
        int err = errno;
        // A signal handler that removed the temporary and let the program go on: say so.
        return Fail(file, error, DropTemporary(file) ? err : EINTR);
    }
    file.TempPath.clear();
    DropTemporary(file);
    return true;
}

void AtomicFileAbort(AtomicFile& file) {
    if (file.Fd >= 0) {
        close(file.Fd);
        file.Fd = -1;
    }
    DropTemporary(file);
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

bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa;
    struct stat sb;
    const bool hasA = stat(a.c_str(), &sa) == 0;
    const bool hasB = stat(b.c_str(), &sb) == 0;
    if (hasA && hasB) {
        return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
    }
    if (hasA != hasB) {
        return false;
    }
    return ResolvedPath(a) == ResolvedPath(b);
}

} // namespace kellix
