#pragma once

#include <array>
#include <string>

namespace kellix {

// The word splitter shared by the song text reader and the script compiler. It works in place:
// the run of delimiters after a word is overwritten with zero bytes, so each word is a
// zero-terminated text inside the caller's buffer.
struct WordSplitter {
    char* Resume = nullptr; // where the next word starts, or null when the text is used up
    std::string Delimiters; // the whole run of delimiters that followed the last word
    // The delimiter set of the last call as a lookup table, kept for the calls that follow.
    std::string TableFor;
    std::array<bool, 256> IsDelimiter{};
};

// Called with a text, starts at its first character; called with nullptr, continues at the
// resume position (returning nullptr, with an empty delimiter record, when there is none).
// The returned word may be empty when the start character is itself a delimiter.
char* NextToken(WordSplitter& splitter, char* text, const char* delimiters);

} // namespace kellix
