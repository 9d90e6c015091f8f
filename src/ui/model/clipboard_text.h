#pragma once

#include "song/track.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kellix {

// Notes and pattern lists travel through the clipboard as song text, so that they can be pasted
// into another pattern, another Kellix window or a text editor, and back.

// The notes as one Point section of the song text, in their order, with their times counted
// from the earliest note's step. Empty for no notes.
std::string NotesClipText(std::span<const TIdPoint> notes);

// The notes of every Point section of a text, read by the song text reader, section by section
// in the order of their numbers. A text
// without a section header but with elements ("( Time: 0; Tone: 24; Instrument: 0; Vol: 256;
// Pan: 128)", as copied out of a song file) is read as the elements of one section. Empty when
// the text holds none.
std::vector<TIdPoint> NotesFromClipText(std::string_view text);

// A track's pattern list as the song text's PatternIndex section. Empty for an empty list.
std::string PatternListClipText(std::span<const int32_t> patterns);

// The pattern numbers of the first PatternIndex section of a text that holds any; none when no
// section does.
std::optional<std::vector<int32_t>> PatternListFromClipText(std::string_view text);

} // namespace kellix
