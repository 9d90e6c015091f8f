#include "songtext/song_presence.h"

#include "songtext/current_instrument.h"
#include "songtext/song_reader.h"

#include <cstdint>

namespace kellix {

bool HoldsSong(std::string_view text) {
    TTrack song;
    TInstrumentCode code;
    // Values no song text can set unnoticed: the reader writes whatever it finds.
    song.Speed = song.Row = INT32_MIN;
    const int32_t current = CurrentInstrument;
    ReadSongText(song, code, text);
    CurrentInstrument = current;
    const bool found = song.Speed != INT32_MIN || song.Row != INT32_MIN ||
                       song.InstrumentCount > 0 || song.PatternCount > 0 || song.TrackCount > 0 ||
                       song.TrackIndexCount > 0;
    EmptySong(song, code);
    return found;
}

} // namespace kellix
