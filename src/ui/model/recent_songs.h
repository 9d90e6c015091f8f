#pragma once

#include <string>
#include <vector>

namespace kellix {

// The songs last opened or saved, newest first, kept across runs in a small text file of one
// path a line.
class RecentSongs {
  public:
    static constexpr std::size_t kMaxSongs = 8;

    // Reads the list from the file; a missing or unreadable file gives an empty list.
    explicit RecentSongs(std::string file);

    // $XDG_CONFIG_HOME/kellix/recent.txt, or ~/.config/kellix/recent.txt.
    static std::string DefaultFile();

    const std::vector<std::string>& Paths() const { return paths_; }
    // Puts the path first (once) and writes the list.
    void Add(const std::string& path);
    // Takes the path out (a song that can no longer be read) and writes the list.
    void Remove(const std::string& path);

  private:
    void Write() const;

    std::string file_;
    std::vector<std::string> paths_;
};

} // namespace kellix
