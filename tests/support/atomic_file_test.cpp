#include "support/atomic_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace kellix;
using kellix::test::ReadFile;
namespace fs = std::filesystem;

namespace {

struct AtomicFileFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() /
                   ("kellix-atomic-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    bool Write(const fs::path& p, const std::string& text, std::string* error = nullptr) {
        return WriteFileAtomically(p.string(), text.data(), text.size(), error);
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
};

// The temporary has no name until the commit, so a program killed before leaves nothing; the
// commit replaces the whole file and keeps its permissions. Long names fit.
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
    EXPECT_EQ(Entries(), 1u);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    fs::path longName = dir / (std::string(250, 'n') + ".txt");
    EXPECT_TRUE(Write(longName, "long"));
    EXPECT_EQ(ReadFile(longName), "long");
}

TEST_F(AtomicFileFixture, FailureNamesTheFileAndKeepsTheOldOne) {
    std::string error;
    fs::path missing = dir / "no-folder" / "song.txt";
    EXPECT_FALSE(Write(missing, "x", &error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
    fs::path file = dir / "keep.txt";
    ASSERT_TRUE(Write(file, "old"));
    AtomicFile f;
    ASSERT_TRUE(AtomicFileOpen(f, file.string(), &error));
    ASSERT_TRUE(AtomicFileWrite(f, "new", 3, &error));
    AtomicFileAbort(f);
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(Entries(), 1u);
    // Through a symbolic link the file it names is replaced, the link stays.
    fs::create_directories(dir / "real");
    fs::create_symlink(file, dir / "real" / "link.txt");
    ASSERT_TRUE(Write(dir / "real" / "link.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "real" / "link.txt"));
    EXPECT_EQ(ReadFile(file), "new");
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

TEST_F(AtomicFileFixture, FifoAndSocketGetTheTextAndStayWhatTheyAre) {
    fs::path fifo = dir / "fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string fromFifo;
    std::thread reader([&] { fromFifo = Drain(open(fifo.c_str(), O_RDONLY)); });
    EXPECT_TRUE(Write(fifo, "through the fifo"));
    reader.join();
    EXPECT_EQ(fromFifo, "through the fifo");
    EXPECT_TRUE(fs::is_fifo(fifo));

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
    EXPECT_EQ(Entries(), 2u);
}

TEST_F(AtomicFileFixture, DevicesAreWrittenNeverReplaced) {
    // As root, copies of the null and full devices in the test's folder stand in for the real
    // ones, so that a fault could only ever replace the copies.
    fs::path null = "/dev/null";
    fs::path full = "/dev/full";
    if (geteuid() == 0) {
        null = dir / "null";
        full = dir / "full";
        ASSERT_EQ(mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        ASSERT_EQ(mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    }
    std::string error;
    EXPECT_TRUE(Write(null, std::string(100000, 'x'), &error)) << error;
    EXPECT_FALSE(Write(full, std::string(100000, 'x'), &error));
    EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_character_file(null));
    EXPECT_TRUE(fs::is_character_file(full));
    EXPECT_FALSE(Write(dir, "x", &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

TEST_F(AtomicFileFixture, DescriptorNamesWriteToTheDescriptor) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    std::string name = "/dev/fd/" + std::to_string(pipeFds[1]);
    std::string error;
    EXPECT_TRUE(WriteFileAtomically(name, "abc", 3, &error)) << error;
    close(pipeFds[1]);
    EXPECT_EQ(Drain(pipeFds[0]), "abc");
    EXPECT_FALSE(WriteFileAtomically("/proc/self/fd/987654", "abc", 3, &error));
}

// Runs body in a child process and returns its wait status; the child exits 0 when body
// returns true. As root the child first becomes an ordinary user.
int InChild(const std::function<bool()>& body, bool asUser = false) {
    pid_t pid = fork();
    if (pid == 0) {
        if (asUser && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
            _exit(3);
        }
        _exit(body() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

TEST_F(AtomicFileFixture, ReadOnlyTargetIsRefused) {
    chmod(dir.c_str(), 0777);
    fs::path file = dir / "readonly.txt";
    ASSERT_TRUE(Write(file, "old"));
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    int status = InChild(
        [&] {
            std::string error;
            return !Write(file, "new", &error) &&
                   error.find("Permission denied") != std::string::npos;
        },
        true);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(ReadFile(file), "old");
    EXPECT_EQ(Entries(), 1u);
}

// A named temporary: the child opens it, writes, and gets the signal before committing.
struct SignalCase {
    int sig;
    void (*previous)(int); // the handler in place before the write
    bool dies;             // the child ends by the signal
};

int g_handled = 0;
void CountSignal(int) {
    ++g_handled;
}

TEST_F(AtomicFileFixture, NamedTemporaryIsRemovedOnSignals) {
    const SignalCase cases[] = {
        {SIGINT, SIG_DFL, true},
        {SIGTERM, SIG_DFL, true},
        {SIGHUP, SIG_DFL, true},
        {SIGXFSZ, SIG_DFL, true},
        // Chained: the program's own handler runs and the program goes on.
        {SIGTERM, CountSignal, false},
        // Ignored before: still ignored, and the file is saved.
        {SIGHUP, SIG_IGN, false},
    };
    for (const SignalCase& c : cases) {
        fs::path file = dir / "out.txt";
        ASSERT_TRUE(Write(file, "old"));
        int status = InChild([&] {
            signal(c.sig, c.previous);
            UseNamedTemporariesOnly(true);
            AtomicFile f;
            std::string error;
            if (!AtomicFileOpen(f, file.string(), &error) ||
                !AtomicFileWrite(f, "new", 3, &error)) {
                return false;
            }
            raise(c.sig);
            bool saved = AtomicFileCommit(f, &error);
            struct sigaction now {};
            sigaction(c.sig, nullptr, &now);
            if (c.previous == SIG_IGN) {
                return saved && now.sa_handler == SIG_IGN;
            }
            // The chained handler ran, the write reports the interruption, the handler is back.
            return !saved && error.find("Interrupted") != std::string::npos && g_handled == 1 &&
                   now.sa_handler == CountSignal;
        });
        if (c.dies) {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig) << c.sig << " " << status;
        } else {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.sig << " " << status;
        }
        EXPECT_EQ(Entries(), 1u) << c.sig;
        EXPECT_EQ(ReadFile(file), c.previous == SIG_IGN ? "new" : "old") << c.sig;
    }
}

TEST(SameFile, TellsNamesOfOneFileFromOthers) {
    fs::path dir = fs::temp_directory_path() / ("kellix-same-" + std::to_string(getpid()));
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "a.txt") << "a";
    std::ofstream(dir / "b.txt") << "b";
    fs::create_symlink(dir / "a.txt", dir / "link.txt");
    fs::create_hard_link(dir / "a.txt", dir / "hard.txt");
    const std::string d = dir.string();
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {d + "/a.txt", d + "/a.txt", true},
        {d + "/a.txt", d + "/sub/../a.txt", true},
        {d + "/a.txt", d + "/link.txt", true},
        {d + "/a.txt", d + "/hard.txt", true},
        {d + "/a.txt", d + "/b.txt", false},
        {d + "/new.wav", d + "/./new.wav", true}, // neither exists yet
        {d + "/new.wav", d + "/other.wav", false},
        {d + "/a.txt", d + "/a.txt.wav", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SameFile(c.a, c.b), c.same) << c.a << " " << c.b;
    }
    fs::remove_all(dir);
}

} // namespace
