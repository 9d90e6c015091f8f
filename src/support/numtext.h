#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kellix {

// Decimal text of a signed value, "-" before negative values.
std::string IntToText(int32_t value);

// The number rule of the song text and of scripts: leading spaces skipped; then "-" or "+",
// or "$" and hexadecimal digits; then decimal digits. When the digits run to the end of the
// text the result carries the sign; when reading stops at another character the result is the
// digits read so far without the sign (0 when there are none). A decimal value above 214748364
// takes no further digit: reading stops there as at an invalid character. Never fails. read,
// when given, gets the number of characters read, 0 when no digit was.
int32_t TextToInt(const char* text, std::size_t* read = nullptr);

// Optional sign, digits, optional "." and digits, optional exponent; the value of the part
// read before the first character that does not fit, as a single-precision float. Locale-free.
// read, when given, gets the length of that part, 0 when it holds no digit.
float TextToSingle(const char* text, std::size_t* read = nullptr);

// The strict whole-number syntax of the number edits: leading blanks, an optional sign, then
// decimal digits or "$" and hexadecimal digits, and nothing after them. Decimal values must fit
// 32 bits; up to eight hexadecimal digits are taken as the 32 bits they spell ("$FFFFFFFF" is
// -1). Returns false, leaving value alone, for any other text, the empty one included.
bool StrictTextToInt(const std::string& text, int32_t& value);

// Write the decimal digits at dst, then a zero byte; return the position of that zero byte.
// Unsigned form: the value taken as an unsigned 32-bit number (-1 gives 4294967295).
char* WriteUnsigned(char* dst, int32_t value);
// Signed form: "-" before negative values, nothing before others.
char* WriteSigned(char* dst, int32_t value);

} // namespace kellix
