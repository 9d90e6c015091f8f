#include "support/numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace kellix {

std::string IntToText(int32_t value) {
    char buf[16];
    WriteSigned(buf, value);
    return buf;
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

int32_t TextToInt(const char* text, std::size_t* read) {
    if (read) {
        *read = 0;
    }
    if (!text) {
        return 0;
    }
    const char* p = text;
    while (*p == ' ') {
        ++p;
    }
    bool negative = false;
    if (*p == '$') {
        ++p;
        const char* digits = p;
        uint32_t value = 0;
        for (int d; (d = HexDigit(*p)) >= 0; ++p) {
            value = value * 16u + static_cast<uint32_t>(d);
        }
        if (read && p > digits) {
            *read = static_cast<std::size_t>(p - text);
        }
        return static_cast<int32_t>(value);
    }
    if (*p == '-' || *p == '+') {
        negative = *p == '-';
        ++p;
    }
    const char* digits = p;
    int64_t value = 0;
    while (*p >= '0' && *p <= '9' && value <= 214748364) {
        value = value * 10 + (*p - '0');
        ++p;
    }
    if (read && p > digits) {
        *read = static_cast<std::size_t>(p - text);
    }
    if (*p != 0) {
        // Reading stopped early: the digits so far, without the sign.
        return static_cast<int32_t>(static_cast<uint32_t>(value));
    }
    if (negative) {
        value = -value;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

bool StrictTextToInt(const std::string& text, int32_t& value) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const bool hex = i < text.size() && text[i] == '$';
    i += hex ? 1 : 0;
    if (i == text.size()) {
        return false;
    }
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        const int d =
            hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (d < 0) {
            return false;
        }
        magnitude = magnitude * (hex ? 16u : 10u) + static_cast<uint64_t>(d);
        if (magnitude > (hex ? 0xFFFFFFFFull : 0x80000000ull)) {
            return false;
        }
    }
    if (!hex && !negative && magnitude > 0x7FFFFFFFull) {
        return false;
    }
    const uint32_t bits = static_cast<uint32_t>(magnitude);
    value = static_cast<int32_t>(negative ? 0u - bits : bits);
    return true;
}

float TextToSingle(const char* text, std::size_t* read) {
    if (read) {
        *read = 0;
    }
    if (!text) {
        return 0.0f;
    }
    // Find the longest prefix of the form [sign] digits [. digits] [(E|e) [sign] digits].
    const char* p = text;
    if (*p == '+' || *p == '-') {
        ++p;
    }
    const char* mantissaStart = p;
    while (*p >= '0' && *p <= '9') {
        ++p;
    }
    if (*p == '.') {
        ++p;
        while (*p >= '0' && *p <= '9') {
            ++p;
        }
    }
    bool anyDigit = false;
    for (const char* q = mantissaStart; q < p; ++q) {
        anyDigit = anyDigit || (*q >= '0' && *q <= '9');
    }
    if (!anyDigit) {
        return 0.0f;
    }
    const char* end = p;
    if (*p == 'E' || *p == 'e') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (*q >= '0' && *q <= '9') {
            while (*q >= '0' && *q <= '9') {
                ++q;
            }
            end = q;
        }
    }
    if (read) {
        *read = static_cast<std::size_t>(end - text);
    }
    // from_chars takes no leading "+".
    const char* first = text[0] == '+' ? text + 1 : text;
    float value = 0.0f;
    auto [ptr, ec] = std::from_chars(first, end, value, std::chars_format::general);
    (void)ptr;
    if (ec == std::errc::result_out_of_range) {
        // Too large gives infinity, too small zero, with the written sign.
        bool neg = text[0] == '-';
        const char* e = std::strpbrk(first, "Ee");
        bool tiny = e && e < end && e[1] == '-';
        float magnitude = tiny ? 0.0f : std::numeric_limits<float>::infinity();
        return neg ? -magnitude : magnitude;
    }
    return value;
}

char* WriteUnsigned(char* dst, int32_t value) {
    char digits[12];
    int n = 0;
    uint32_t v = static_cast<uint32_t>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10u);
        v /= 10u;
    } while (v != 0);
    while (n > 0) {
        *dst++ = digits[--n];
    }
    *dst = 0;
    return dst;
}

char* WriteSigned(char* dst, int32_t value) {
    if (value < 0) {
        *dst++ = '-';
        char digits[12];
        int n = 0;
        uint32_t v = 0u - static_cast<uint32_t>(value);
        do {
            digits[n++] = static_cast<char>('0' + v % 10u);
            v /= 10u;
        } while (v != 0);
        while (n > 0) {
            *dst++ = digits[--n];
        }
        *dst = 0;
        return dst;
    }
    return WriteUnsigned(dst, value);
}

} // namespace kellix
