#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kellix {

// The name an instrument's code gives it: the text after "//" on the first line that holds a
// comment, without the blanks around it, at most kMaxInstrumentName bytes (cut at a character
// boundary of UTF-8 text); empty when the code has no comment. Names are not part of the song
// file: they live in the code.
constexpr std::size_t kMaxInstrumentName = 40;
std::string InstrumentName(std::string_view code);

// What a Speed means to a musician: one step lasts Speed x 32 frames of 44100 a second, and a
// beat is four steps, so BPM = 44100 x 60 / (Speed x 32 x 4).
// "Speed 128: a step lasts 92.9 ms, 161.5 BPM at four steps a beat".
std::string TempoText(int32_t speed);

} // namespace kellix
