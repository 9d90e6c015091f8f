#pragma once

#include <cstddef>
#include <string>

namespace kellix {

// The largest text file read whole: far beyond any song or instrument code, small enough that
// reading a wrong file cannot exhaust memory.
constexpr std::size_t kMaxTextFileBytes = std::size_t{256} << 20;

// Reads a whole regular file into text. On failure (missing, unreadable, not a regular file,
// larger than kMaxTextFileBytes) returns false with a message naming the file and the reason,
// and leaves text as it was.
bool ReadTextFile(const std::string& path, std::string& text, std::string* error);

} // namespace kellix
