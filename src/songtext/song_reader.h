#pragma once

#include "song/track.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace kellix {

// Limits of the song text reader. A section whose table would exceed them is ignored after its
// header has been read: nothing is allocated and the reader goes idle.
// - Instruments, patterns and tracks: at most kMaxSongTables each (also bounds the index in
//   the names "PointN" and "PatternIndexN"; a negative index is ignored as well).
// - Events of one pattern, pattern numbers of one track and play-list entries: at most
//   kMaxSongListEntries each.
// - Over one read, the table elements created by headers and by index growth may not exceed
//   kReadElementBudget plus the text's length in bytes. Every element the writer writes takes
//   more than one byte of text, so this never refuses a written song within the limits above;
//   it keeps a short text from demanding huge or endlessly repeated allocations.
constexpr int32_t kMaxSongTables = 65536;
constexpr int32_t kMaxSongListEntries = 1000000;
constexpr int64_t kReadElementBudget = int64_t{1} << 21;

// Reads a song text, up to its first zero byte, into song and code. The text is cut into words
// in place (delimiters are overwritten). Instruments and codes are emptied first; patterns,
// tracks, the play list, Speed and Row keep whatever the text does not set. Unexpected words
// are skipped; nothing is reported. CurrentInstrument is left at the last instrument whose code
// was stored.
void ReadSongTextInPlace(TTrack& song, TInstrumentCode& code, char* text);
// The same on a copy of text.
void ReadSongText(TTrack& song, TInstrumentCode& code, std::string_view text);

// Reads the song file at path. When it cannot be read (see ReadTextFile) returns false with a
// message and changes nothing.
bool LoadSongText(TTrack& song, TInstrumentCode& code, const std::string& path, std::string* error);

} // namespace kellix
