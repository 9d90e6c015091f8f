#pragma once

// Files for the tests of several folders: a temporary folder of a test's own, whole files read
// and written as bytes, and a checksum of bytes.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace kellix::test {

// A folder of its own under the system's temporary folder, removed at the end.
struct TempFolder {
    std::filesystem::path Path;
    TempFolder() {
        static std::atomic<int> counter{0};
        Path = std::filesystem::temp_directory_path() /
               ("kellix-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(Path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string operator/(const std::string& name) const { return (Path / name).string(); }
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// FNV-1a.
inline uint64_t Checksum(const std::string& bytes) {
    uint64_t h = 14695981039346656037ull;
    for (char b : bytes) {
        h = (h ^ static_cast<uint8_t>(b)) * 1099511628211ull;
    }
    return h;
}

} // namespace kellix::test
