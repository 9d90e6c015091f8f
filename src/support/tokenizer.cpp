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
    const char* set = delimiters ? delimiters : "";
    if (splitter.TableFor != set) {
        splitter.TableFor = set;
        splitter.IsDelimiter.fill(false);
        for (const char* d = set; *d; ++d) {
            splitter.IsDelimiter[static_cast<unsigned char>(*d)] = true;
        }
    }
    const auto& isDelimiter = splitter.IsDelimiter;
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
