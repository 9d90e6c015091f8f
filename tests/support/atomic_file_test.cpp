// FIFOs, full devices, read-only targets, a killed writer and a song written onto itself (the
// same-file test) are checked end to end through the renderer; these are the cases it does not
// reach.
#include "support/atomic_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kellix;
using kellix::test::ReadFile;
namespace fs = std::filesystem;

namespace {

struct AtomicFileFixture : ::testing::Test {
    kellix::test::TempFolder temp;
    fs::path dir = temp.Path;
    bool Write(const fs::path& p, const std::string& text, std::string* error = nullptr) {
        return WriteFileAtomically(p.string(), text.data(), text.size(), error);
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
};

// The temporary has no name until the commit, so a program killed before leaves nothing; the
// commit keeps the permissions. Long names fit; a link's target is written, the link stays.
TEST_F(AtomicFileFixture, ReplacesTheWholeFileAndLeavesNoTemporary) {
    fs::path file = dir / "song.txt";
    ASSERT_TRUE(Write(file, std::string(1000, 'x')));
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    AtomicFile f;
    std::string error;
    ASSERT_TRUE(AtomicFileOpen(f, file.string(), &error)) << error;
    ASSERT_TRUE(AtomicFileWrite(f, "short", 5, &error));
    EXPECT_EQ(Entries(), 1u);
    ASSERT_TRUE(AtomicFileCommit(f, &error)) << error;
    EXPECT_EQ(ReadFile(file), "short");
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(Write(dir / (std::string(250, 'n') + ".txt"), "long"));
    fs::create_symlink(file, dir / "link.txt");
    ASSERT_TRUE(Write(dir / "link.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadFile(file), "new");
}

TEST_F(AtomicFileFixture, FailureNamesTheFileAndKeepsTheOldOne) {
    std::string error;
    fs::path missing = dir / "no-folder" / "song.txt";
    EXPECT_FALSE(Write(missing, "x", &error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
    EXPECT_FALSE(Write(dir, "x", &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
    fs::path file = dir / "keep.txt";
    ASSERT_TRUE(Write(file, "old"));
    AtomicFile f;
    ASSERT_TRUE(AtomicFileOpen(f, file.string(), &error));
    ASSERT_TRUE(AtomicFileWrite(f, "new", 3, &error));
    AtomicFileAbort(f);
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(Entries(), 1u);
}

// Everything a descriptor delivers until its writer closes it.
std::string Drain(int fd) {
    std::string got;
    char buffer[4096];
    for (ssize_t n; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        got.append(buffer, static_cast<std::size_t>(n));
    }
    close(fd);
    return got;
}

TEST_F(AtomicFileFixture, SocketsAndDescriptorNamesGetTheText) {
    fs::path socketPath = dir / "socket";
    int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, socketPath.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    std::string fromSocket;
    std::thread server([&] { fromSocket = Drain(accept(listener, nullptr, nullptr)); });
    EXPECT_TRUE(Write(socketPath, "through the socket"));
    server.join();
    close(listener);
    EXPECT_EQ(fromSocket, "through the socket");
    EXPECT_TRUE(fs::is_socket(socketPath));

    // Standard output is written through its name by the renderer; a closed descriptor fails.
    EXPECT_FALSE(Write("/proc/self/fd/987654", "abc"));
}

int g_handled = 0;

// A named temporary: a child opens it, writes, and gets the signal before committing. The
// signal's course is kept: by default it ends the child, a handler of the program's own runs
// and the save reports the interruption, an ignored signal stays ignored and the file is saved.
TEST_F(AtomicFileFixture, NamedTemporaryIsRemovedOnSignals) {
    const struct {
        int sig;
        void (*previous)(int);
    } cases[] = {{SIGINT, SIG_DFL}, {SIGTERM, [](int) { ++g_handled; }}, {SIGHUP, SIG_IGN}};
    for (const auto& c : cases) {
        fs::path file = dir / "out.txt";
        ASSERT_TRUE(Write(file, "old"));
        pid_t pid = fork();
        if (pid == 0) {
            signal(c.sig, c.previous);
            UseNamedTemporariesOnly(true);
            AtomicFile f;
            std::string error;
            const bool written =
                AtomicFileOpen(f, file.string(), &error) && AtomicFileWrite(f, "new", 3, &error);
            raise(c.sig);
            const bool saved = written && AtomicFileCommit(f, &error);
            struct sigaction now {};
            sigaction(c.sig, nullptr, &now);
            const bool ok =
                now.sa_handler == c.previous &&
                (c.previous == SIG_IGN
                     ? saved
                     : !saved && g_handled == 1 && error.find("Interrupted") != std::string::npos);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, c.previous == SIG_DFL ? c.sig : 0) << c.sig; // killed, or exit 0
        EXPECT_EQ(Entries(), 1u) << c.sig;
        EXPECT_EQ(ReadFile(file), c.previous == SIG_IGN ? "new" : "old") << c.sig;
    }
}

} // namespace
