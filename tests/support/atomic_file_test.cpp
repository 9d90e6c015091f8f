// FIFOs, full devices, a read-only target of another owner, a killed writer and a song written
// onto itself (the same-file test) are checked end to end through the renderer; these are the
// cases it does not reach.
#include "support/atomic_file.h"

#include "test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <unistd.h>
#include <utility>

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
// commit keeps the permissions, an abort the old file. Long names fit; a link's target is
// written, the link stays. A failure names the file.
TEST_F(AtomicFileFixture, ReplacesTheWholeFileOrKeepsTheOldOne) {
    fs::path file = dir / "song.txt";
    ASSERT_TRUE(Write(file, std::string(1000, 'x')));
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    std::string error;
    for (bool commit : {false, true}) {
        AtomicFile f;
        ASSERT_TRUE(AtomicFileOpen(f, file.string(), &error)) << error;
        ASSERT_TRUE(AtomicFileWrite(f, "short", 5, &error));
        EXPECT_EQ(Entries(), 1u);
        if (commit) {
            ASSERT_TRUE(AtomicFileCommit(f, &error)) << error;
        } else {
            AtomicFileAbort(f);
        }
        EXPECT_EQ(ReadFile(file), commit ? "short" : std::string(1000, 'x'));
        EXPECT_EQ(Entries(), 1u);
    }
    EXPECT_EQ(fs::status(file).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_TRUE(Write(dir / (std::string(250, 'n') + ".txt"), "long"));
    fs::create_symlink(file, dir / "link.txt");
    ASSERT_TRUE(Write(dir / "link.txt", "new"));
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadFile(file), "new");
    fs::path missing = dir / "no-folder" / "song.txt";
    EXPECT_FALSE(Write(missing, "x", &error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
    EXPECT_FALSE(Write(dir, "x", &error));
    EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
}

// The user the tests that run as root write as, and own files of.
constexpr uid_t kOtherUser = 4243;

// Writes the text to path as user (through a child that becomes that user when it is not this
// process's), with named or unnamed temporaries. Returns the writer's error, "" on success.
std::string WriteAs(uid_t user, bool named, const fs::path& path, const std::string& text) {
    int pipes[2];
    if (pipe(pipes) != 0) {
        return "no pipe";
    }
    const pid_t pid = fork();
    if (pid == 0) {
        close(pipes[0]);
        std::string error = "cannot become the user";
        if (user == geteuid() ||
            (setgroups(0, nullptr) == 0 && setgid(user) == 0 && setuid(user) == 0)) {
            UseNamedTemporariesOnly(named);
            error.clear();
            WriteFileAtomically(path.string(), text.data(), text.size(), &error);
        }
        const bool sent =
            write(pipes[1], error.data(), error.size()) == static_cast<ssize_t>(error.size());
        _exit(sent ? 0 : 1);
    }
    close(pipes[1]);
    // The read end opened anew through its name reads to the end of what the child sent.
    const std::string error = ReadFile("/proc/self/fd/" + std::to_string(pipes[0]));
    close(pipes[0]);
    waitpid(pid, nullptr, 0);
    return error;
}

// An existing file keeps its permissions, owner and group. Where the new file cannot be given
// them, where the file has another name, or where the folder is closed to the writer, the file
// is written over in place: same inode, every name sees the new text. Each case runs with both
// kinds of temporary, and writes a longer text and then a shorter one.
TEST_F(AtomicFileFixture, KeepsOwnerModeAndLinks) {
    const bool root = geteuid() == 0;
    const uid_t me = geteuid();
    // Root passes the folder's permissions, so root has another user write to the closed one.
    const uid_t user = root ? kOtherUser : me;
    // What is saved: the folder's and the file's modes, the owner, the writer, whether the case
    // needs root, whether the file has another name, and whether it is written over in place.
    const std::tuple<const char*, mode_t, mode_t, uid_t, uid_t, bool, bool, bool> cases[] = {
        {"a hard link", 0755, 0644, me, me, false, true, true},
        {"mode 0640", 0755, 0640, me, me, false, false, false},
        {"a closed folder", 0555, 0666, user, user, false, false, true},
        {"another user's file saved by root", 0755, 0640, kOtherUser, 0, true, false, false},
        {"root's shared file saved by another user", 0777, 0666, 0, kOtherUser, true, false, true},
    };
    int number = 0;
    for (const auto& [what, dirMode, fileMode, owner, writer, needsRoot, link, inPlace] : cases) {
        for (bool named : {false, true}) {
            if (needsRoot && !root) {
                continue;
            }
            const gid_t group = owner == me ? getegid() : owner;
            SCOPED_TRACE(std::string(what) + (named ? ", named temporary" : ""));
            const fs::path folder = dir / std::to_string(number++);
            fs::create_directory(folder);
            const fs::path file = folder / "song.txt";
            kellix::test::WriteFile(file, "old text");
            if (link) {
                fs::create_hard_link(file, folder / "other-name.txt");
            }
            ASSERT_EQ(chown(file.c_str(), owner, group), 0);
            ASSERT_EQ(chmod(file.c_str(), fileMode), 0);
            ASSERT_EQ(chmod(folder.c_str(), dirMode), 0);
            for (const std::string text : {"the new, longer text", "short"}) {
                struct stat before;
                ASSERT_EQ(stat(file.c_str(), &before), 0);
                EXPECT_EQ(WriteAs(writer, named, file, text), "");
                EXPECT_EQ(ReadFile(file), text);
                struct stat after;
                ASSERT_EQ(stat(file.c_str(), &after), 0);
                EXPECT_EQ(after.st_uid, owner);
                EXPECT_EQ(after.st_gid, group);
                EXPECT_EQ(after.st_mode & 07777, fileMode);
                EXPECT_EQ(after.st_ino == before.st_ino, inPlace);
                if (link) {
                    EXPECT_EQ(ReadFile(folder / "other-name.txt"), text);
                }
            }
            chmod(folder.c_str(), 0755);
            EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})),
                      link ? 2u : 1u);
        }
    }
}

// A read-only file of the writer's own is refused, though the folder would let a rename replace
// it, and keeps its text.
TEST_F(AtomicFileFixture, ReadOnlyFileOfTheWritersOwnIsRefused) {
    const uid_t user = geteuid() == 0 ? kOtherUser : geteuid();
    const fs::path file = dir / "song.txt";
    kellix::test::WriteFile(file, "old text");
    ASSERT_EQ(chown(file.c_str(), user, user == geteuid() ? getegid() : user), 0);
    ASSERT_EQ(chmod(file.c_str(), 0444), 0);
    ASSERT_EQ(chmod(dir.c_str(), 0777), 0);
    for (bool named : {false, true}) {
        const std::string error = WriteAs(user, named, file, "new");
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(file), "old text");
    }
}

// A file written over in place on a full disk: the room is asked for before the file is
// touched, so it keeps its old text. Root mounts a small disk of its own for it, and another
// user writes, so that the temporary lies on the system's disk (the folder is closed to him).
TEST_F(AtomicFileFixture, InPlaceOnAFullDiskLeavesTheFile) {
    const fs::path disk = dir / "disk";
    fs::create_directory(disk);
    if (geteuid() != 0 || mount("kellix-test", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "needs root and a disk of its own";
    }
    const fs::path file = disk / "song.txt";
    kellix::test::WriteFile(file, "old text");
    ASSERT_EQ(chown(file.c_str(), kOtherUser, kOtherUser), 0);
    ASSERT_EQ(chmod(disk.c_str(), 0555), 0);
    {
        std::ofstream filler(disk / "filler", std::ios::binary);
        const std::string block(4096, 'f');
        for (int i = 0; i < 64 && filler.write(block.data(), block.size()); ++i) {
            filler.flush();
        }
    }
    for (bool named : {false, true}) {
        const std::string error = WriteAs(kOtherUser, named, file, std::string(20000, 'n'));
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
        EXPECT_EQ(error.find("part"), std::string::npos) << error;
        EXPECT_EQ(ReadFile(file), "old text");
    }
    EXPECT_EQ(umount(disk.c_str()), 0);
}

int g_handled = 0;

// A named temporary: a child opens it, writes, and gets the signal before committing. The
// signal's course is kept: by default it ends the child, a handler of the program's own runs
// and the save reports the interruption, an ignored signal stays ignored and the file is saved.
TEST_F(AtomicFileFixture, NamedTemporaryIsRemovedOnSignals) {
    const std::pair<int, void (*)(int)> cases[] = {
        {SIGINT, SIG_DFL}, {SIGTERM, [](int) { ++g_handled; }}, {SIGHUP, SIG_IGN}};
    for (const auto& [sig, previous] : cases) {
        fs::path file = dir / "out.txt";
        ASSERT_TRUE(Write(file, "old"));
        pid_t pid = fork();
        if (pid == 0) {
            signal(sig, previous);
            UseNamedTemporariesOnly(true);
            AtomicFile f;
            std::string error;
            const bool written =
                AtomicFileOpen(f, file.string(), &error) && AtomicFileWrite(f, "new", 3, &error);
            raise(sig);
            const bool saved = written && AtomicFileCommit(f, &error);
            struct sigaction now {};
            sigaction(sig, nullptr, &now);
            const bool ok =
                now.sa_handler == previous &&
                (previous == SIG_IGN
                     ? saved
                     : !saved && g_handled == 1 && error.find("Interrupted") != std::string::npos);
            _exit(ok ? 0 : 1);
        }
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_EQ(status, previous == SIG_DFL ? sig : 0) << sig; // killed, or exit 0
        EXPECT_EQ(Entries(), 1u) << sig;
        EXPECT_EQ(ReadFile(file), previous == SIG_IGN ? "new" : "old") << sig;
    }
}

} // namespace
