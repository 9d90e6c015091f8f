#pragma once

#include "song/track.h"
#include "songtext/song_reader.h"

#include <string_view>

namespace kellix {

// Whether a text read as a song sets anything at all: a table, the play list, Speed or Row.
// Empty files, binary files and texts cut before any song record hold none; opening them would
// only empty the song. The text is read into a song of its own.
bool HoldsSong(std::string_view text);

// The same for a song read from nothing with the report: for a caller that
// reads the text once.
bool HoldsSong(const TTrack& song, const SongReadReport& report);

} // namespace kellix
