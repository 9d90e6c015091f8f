#include "support/text.h"

#include "support/blocks.h"

#include <cstring>

namespace kellix {

void TextUpper(char* text) {
    if (!text) {
        return;
    }
    for (; *text; ++text) {
        *text = UpperAscii(*text);
    }
}

char* TextDuplicate(const char* text, std::size_t length) {
    char* copy = nullptr;
    AllocBlock(copy, length + 1);
    if (length) {
        std::memcpy(copy, text, length);
    }
    copy[length] = 0;
    return copy;
}

int LineOfPosition(const char* text, std::ptrdiff_t pos) {
    int line = 1;
    for (std::ptrdiff_t i = 0; text && i < pos && text[i]; ++i) {
        if (text[i] == '\n' || (text[i] == '\r' && text[i + 1] != '\n')) {
            ++line;
        }
    }
    return line;
}

} // namespace kellix
