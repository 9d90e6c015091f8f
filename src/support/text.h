#pragma once

#include <cstddef>

namespace kellix {

// Zero-terminated text routines. Upper-casing touches a to z only, whatever the locale.
void TextUpper(char* text);
inline char UpperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
// The 1-based line of text on which the byte at pos lies. LF, CR and CR LF each end a line; a
// position past the end of the text (or its first zero byte) counts as its end.
int LineOfPosition(const char* text, std::ptrdiff_t pos);
// A new block holding a copy of the first length bytes of text and a zero byte (FreeBlock it).
char* TextDuplicate(const char* text, std::size_t length);

} // namespace kellix
