#include "support/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace kellix;
namespace fs = std::filesystem;

namespace {

struct AtomicFileFixture : ::testing::Test {
    fs::path dir = fs::temp_directory_path() /
                   ("kellix-atomic-" + std::to_string(getpid()) + "-" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    void SetUp() override { fs::create_directories(dir); }
    void TearDown() override { fs::remove_all(dir); }
    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    bool Write(const fs::path& p, const std::string& text, std::string* error = nullptr) {
        return WriteFileAtomically(p.string(), text.data(), text.size(), error);
    }
    std::size_t Entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }
};

TEST_F(AtomicFileFixture, ReplacesTheWholeFileAndLeavesNoTemporary) {
    fs::path file = dir / "song.txt";
    ASSERT_TRUE(Write(file, std::string(1000, 'x')));
    ASSERT_TRUE(Write(file, "short"));
    EXPECT_EQ(Read(file), "short");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileFixture, FailureNamesTheFileAndKeepsTheOldOne) {
    std::string error;
    fs::path missing = dir / "no-folder" / "song.txt";
    EXPECT_FALSE(Write(missing, "x", &error));
    EXPECT_NE(error.find(missing.string()), std::string::npos) << error;
    // An aborted file leaves the target as it was.
    fs::path file = dir / "keep.txt";
    ASSERT_TRUE(Write(file, "old"));
    AtomicFile f;
    ASSERT_TRUE(AtomicFileOpen(f, file.string(), &error));
    ASSERT_TRUE(AtomicFileWrite(f, "new", 3, &error));
    AtomicFileAbort(f);
    EXPECT_EQ(Read(file), "old");
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(AtomicFileFixture, SavingThroughALinkReplacesTheFileItPointsTo) {
    fs::create_directories(dir / "real");
    fs::path real = dir / "real" / "song.txt";
    ASSERT_TRUE(Write(real, "old"));
    fs::path link = dir / "link.txt";
    fs::create_symlink(real, link);
    ASSERT_TRUE(Write(link, "new"));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(Read(real), "new");
}

TEST_F(AtomicFileFixture, KeepsPermissionsAndTakesLongNames) {
    fs::path file = dir / "private.txt";
    ASSERT_TRUE(Write(file, "a"));
    ASSERT_EQ(chmod(file.c_str(), 0600), 0);
    ASSERT_TRUE(Write(file, "b"));
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    fs::path longName = dir / (std::string(250, 'n') + ".txt");
    EXPECT_TRUE(Write(longName, "long"));
    EXPECT_EQ(Read(longName), "long");
}

} // namespace
