#include "songtext/text_file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace kellix {

namespace {

bool Fail(const std::string& path, const std::string& reason, std::string* error) {
    if (error) {
        *error = "Cannot read \"" + path + "\": " + reason;
    }
    return false;
}

std::string Reason(int err) {
    return std::generic_category().message(err);
}

} // namespace

bool ReadTextFile(const std::string& path, std::string& text, std::string* error) {
    // Opened without waiting: a FIFO or a device would otherwise block until someone writes to
    // it. Only regular files are read, checked on the descriptor actually opened.
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        return Fail(path, Reason(errno), error);
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        int err = errno;
        close(fd);
        return Fail(path, Reason(err), error);
    }
    if (!S_ISREG(info.st_mode)) {
        close(fd);
        return Fail(path, "not a regular file", error);
    }
    if (static_cast<std::size_t>(info.st_size) > kMaxTextFileBytes) {
        close(fd);
        return Fail(path, "file too large", error);
    }
    std::string data(static_cast<std::size_t>(info.st_size), '\0');
    std::size_t got = 0;
    while (got < data.size()) {
        ssize_t n = read(fd, data.data() + got, data.size() - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            int err = errno;
            close(fd);
            return Fail(path, Reason(err), error);
        }
        if (n == 0) {
            break; // the file shrank since fstat: keep what is there
        }
        got += static_cast<std::size_t>(n);
    }
    close(fd);
    data.resize(got);
    text = std::move(data);
    return true;
}

} // namespace kellix
