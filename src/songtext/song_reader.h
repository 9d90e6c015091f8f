#pragma once

#include "song/track.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kellix {

// Limits of the song text reader. A section whose table would exceed them is left out after its
// header has been read: nothing is allocated, the reader goes idle and the report names it.
// - Instruments, patterns and tracks: at most kMaxSongTables each (also bounds the index in
//   the names "PointN" and "PatternIndexN"; a negative index is ignored as well).
// - Events of one pattern, pattern numbers of one track and play-list entries: at most
//   kMaxSongListEntries each.
// - Over one read, the elements of the tables that headers create or that section indices grow
//   may not exceed kReadElementBudget plus the text's length in bytes. A written song always
//   fits (its text spends at least two bytes on every element), while a short text cannot
//   demand huge or endlessly repeated allocations.
constexpr int32_t kMaxSongTables = 65536;
constexpr int32_t kMaxSongListEntries = 1000000;
constexpr int64_t kReadElementBudget = 65536;

// The most tables SongReadReport::Dropped names one by one; one more line counts the rest.
constexpr std::size_t kMaxDroppedLines = 20;

// What a read found beside the song, for the caller to show.
struct SongReadReport {
    // The tables left out for the limits above, in the order of the text, each as a line that
    // names the table and why: "Point3: 1000001 events, more than the 1000000 a pattern may
    // hold; not read".
    std::vector<std::string> Dropped;
    // The last instrument whose code the text gave, -1 for none: the instrument the editor
    // shows after reading.
    int32_t LastCode = -1;
    // Whether the root record set Speed and Row (whatever the value).
    bool SpeedSet = false;
    bool RowSet = false;
    // The offset of the text's first zero byte, where reading stopped; none when it holds none.
    // Set by ReadSongText and LoadSongText (the in-place read sees only what comes before it).
    std::optional<std::size_t> ZeroByte;
};

// Reads a song text, up to its first zero byte, into song and returns what else it found. The
// text is cut into words in place (delimiters are overwritten). Instruments (with their codes)
// are emptied first; patterns, tracks, the play list, Speed, Row and the effects keep whatever
// the text does not set (effects read are limited as LimitEffects does). Unexpected words are
// skipped; tables over the limits are left out and named in the report.
SongReadReport ReadSongTextInPlace(TTrack& song, char* text);
// The same on a copy of text, whose first zero byte the report gives.
SongReadReport ReadSongText(TTrack& song, std::string_view text);

// Reads the song file at path. When it cannot be read (see ReadTextFile) returns false with a
// message and changes nothing.
bool LoadSongText(TTrack& song, const std::string& path, std::string* error,
                  SongReadReport* report = nullptr);

} // namespace kellix
