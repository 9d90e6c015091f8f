#include "ui/model/recent_songs.h"

#include "songtext/text_file.h"
#include "support/atomic_file.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace kellix {

namespace fs = std::filesystem;

RecentSongs::RecentSongs(std::string file) : file_(std::move(file)) {
    std::string text;
    if (!ReadTextFile(file_, text, nullptr)) {
        return;
    }
    std::size_t start = 0;
    while (start < text.size() && paths_.size() < kMaxSongs) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        std::string path = text.substr(start, end - start);
        if (!path.empty() && std::find(paths_.begin(), paths_.end(), path) == paths_.end()) {
            paths_.push_back(std::move(path));
        }
        start = end + 1;
    }
}

std::string RecentSongs::DefaultFile() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    if (config && *config == '/') {
        return (fs::path(config) / "kellix/recent.txt").string();
    }
    const char* home = std::getenv("HOME");
    return (fs::path(home && *home ? home : "/tmp") / ".config/kellix/recent.txt").string();
}

void RecentSongs::Add(const std::string& path) {
    // A path with a line break could not be read back as one entry.
    if (path.empty() || path.find('\n') != std::string::npos) {
        return;
    }
    paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > kMaxSongs) {
        paths_.resize(kMaxSongs);
    }
    Write();
}

void RecentSongs::Remove(const std::string& path) {
    const auto end = std::remove(paths_.begin(), paths_.end(), path);
    if (end != paths_.end()) {
        paths_.erase(end, paths_.end());
        Write();
    }
}

// The list is a convenience: a folder that cannot be written only means it is not kept.
void RecentSongs::Write() const {
    std::string text;
    for (const std::string& p : paths_) {
        text += p + "\n";
    }
    std::error_code ec;
    fs::create_directories(fs::path(file_).parent_path(), ec);
    WriteFileAtomically(file_, text.data(), text.size(), nullptr);
}

} // namespace kellix
