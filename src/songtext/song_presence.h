#pragma once

#include <string_view>

namespace kellix {

// Whether a text read as a song sets anything at all: a table, the play list, Speed or Row.
// Empty files, binary files and texts cut before any song record hold none; opening them would
// only empty the song. The text is read into a song of its own; the one being edited and
// CurrentInstrument stay as they are.
bool HoldsSong(std::string_view text);

} // namespace kellix
