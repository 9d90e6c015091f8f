#include "support/tokenizer.h"

#include <cstring>

namespace kellix {

char* NextToken(WordSplitter& splitter, char* text, const char* delimiters) {
    char* start = text ? text : splitter.Resume;
    splitter.Delimiters.clear();
    splitter.Resume = nullptr;
    if (!start) {
        return nullptr;
    }
    bool isDelimiter[256] = {};
    for (const char* d = delimiters; d && *d; ++d) {
        isDelimiter[static_cast<unsigned char>(*d)] = true;
    }
    char* p = start;
    while (*p && !isDelimiter[static_cast<unsigned char>(*p)]) {
        ++p;
    }
    if (!*p) {
        return start;
    }
    while (*p && isDelimiter[static_cast<unsigned char>(*p)]) {
        splitter.Delimiters.push_back(*p);
        *p++ = 0;
    }
    splitter.Resume = *p ? p : nullptr;
    return start;
}

} // namespace kellix
