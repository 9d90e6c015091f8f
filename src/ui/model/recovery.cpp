#include "ui/model/recovery.h"

#include "songtext/song_writer.h"
#include "songtext/text_file.h"
#include "support/atomic_file.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sstream>
#include <sys/file.h>
#include <system_error>
#include <unistd.h>

namespace kellix {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPrefix = "recovery-";
constexpr const char* kSuffix = ".txt";

std::string LockPathOf(const fs::path& folder, const std::string& run) {
    return (folder / ("run-" + run + ".lock")).string();
}

// The run number in "recovery-<run>.txt", or "" for another name.
std::string RunOf(const fs::path& file) {
    const std::string name = file.filename().string();
    const std::string prefix = kPrefix;
    const std::string suffix = kSuffix;
    if (name.size() <= prefix.size() + suffix.size() || name.rfind(prefix, 0) != 0 ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return {};
    }
    return name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
}

// Beside the recovery file: its song file's stamp and unread tail on the first line, then the
// name's bytes.
std::string FileNotePath(const std::string& recoveryPath) {
    return recoveryPath + ".file";
}

// Whether some living run holds the lock.
bool Held(const std::string& lockPath) {
    const int fd = open(lockPath.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        return false;
    }
    const bool held = flock(fd, LOCK_EX | LOCK_NB) != 0;
    close(fd);
    return held;
}

} // namespace

RecoveryStore::RecoveryStore(std::string folder) : folder_(std::move(folder)) {
    const std::string run = std::to_string(getpid());
    path_ = (fs::path(folder_) / (kPrefix + run + kSuffix)).string();
    lockPath_ = LockPathOf(folder_, run);
}

RecoveryStore::~RecoveryStore() {
    ReleaseLeftOver();
    if (lockFd_ >= 0) {
        if (!written_) {
            unlink(lockPath_.c_str());
        }
        close(lockFd_);
    }
}

std::string RecoveryStore::DefaultFolder() {
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') {
        return (fs::path(state) / "kellix").string();
    }
    const char* home = std::getenv("HOME");
    return (fs::path(home && *home ? home : "/tmp") / ".local/state/kellix").string();
}

bool RecoveryStore::Claim(std::string* error) {
    if (lockFd_ >= 0) {
        return true;
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);
    lockFd_ = open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    int err = errno;
    if (lockFd_ >= 0 && flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        err = errno;
        close(lockFd_);
        lockFd_ = -1;
    }
    if (lockFd_ < 0 && error) {
        *error = "Cannot lock \"" + lockPath_ +
                 "\": " + std::generic_category().message(ec ? ec.value() : err);
    }
    return lockFd_ >= 0;
}

bool RecoveryStore::Write(const std::string& text, const RecoveredFile& file, std::string* error) {
    if (!Claim(error)) {
        return false;
    }
    // A failed write leaves the previous file in place: it stays this run's file, but the
    // failure is reported so that the write is tried again.
    // Refused, like a save, when the reader could not read it back.
    bool ok = WriteSongText(path_, text, error);
    written_ = written_ || ok;
    const std::string note = FileNotePath(path_);
    if (ok && file.Name.empty()) {
        unlink(note.c_str());
    } else if (ok) {
        const FileStamp& t = file.Stamp;
        const std::string content = std::to_string(t.Exists) + " " + std::to_string(t.Device) +
                                    " " + std::to_string(t.Inode) + " " + std::to_string(t.Size) +
                                    " " + std::to_string(t.ModifiedNs) + " " +
                                    std::to_string(file.UnreadTail) + "\n" + file.Name;
        ok = WriteFileAtomically(note, content.data(), content.size(), error);
    }
    return ok;
}

void RecoveryStore::Discard() {
    if (written_) {
        unlink(path_.c_str());
        unlink(FileNotePath(path_).c_str());
        written_ = false;
    }
}

std::optional<std::string> RecoveryStore::FindLeftOver() const {
    std::error_code ec;
    std::optional<std::string> newest;
    fs::file_time_type newestTime{};
    for (const fs::directory_entry& entry : fs::directory_iterator(folder_, ec)) {
        const std::string run = RunOf(entry.path());
        if (run.empty() || entry.path().string() == path_ || Held(LockPathOf(folder_, run)) ||
            !entry.is_regular_file(ec)) {
            continue;
        }
        const fs::file_time_type time = entry.last_write_time(ec);
        if (!newest || time > newestTime) {
            newest = entry.path().string();
            newestTime = time;
        }
    }
    return newest;
}

bool RecoveryStore::ClaimLeftOver(const std::string& path) {
    ReleaseLeftOver();
    const fs::path file(path);
    const std::string lock = LockPathOf(file.parent_path(), RunOf(file));
    claimFd_ = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0600);
    if (claimFd_ >= 0 && flock(claimFd_, LOCK_EX | LOCK_NB) != 0) {
        close(claimFd_);
        claimFd_ = -1;
    }
    return claimFd_ >= 0;
}

void RecoveryStore::ReleaseLeftOver() {
    if (claimFd_ >= 0) {
        close(claimFd_);
        claimFd_ = -1;
    }
}

void RecoveryStore::RemoveLeftOver(const std::string& path) {
    const fs::path file(path);
    unlink(path.c_str());
    unlink(FileNotePath(path).c_str());
    unlink(LockPathOf(file.parent_path(), RunOf(file)).c_str());
}

RecoveredFile RecoveryStore::FileOf(const std::string& path) {
    std::string content;
    RecoveredFile file;
    if (!ReadTextFile(FileNotePath(path), content, nullptr)) {
        return file;
    }
    const std::size_t lineEnd = content.find('\n');
    std::istringstream stamp(content.substr(0, lineEnd));
    FileStamp& t = file.Stamp;
    if (lineEnd == std::string::npos ||
        !(stamp >> t.Exists >> t.Device >> t.Inode >> t.Size >> t.ModifiedNs >> file.UnreadTail)) {
        return {};
    }
    file.Name = content.substr(lineEnd + 1);
    return file;
}

} // namespace kellix
