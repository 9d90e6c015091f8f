#include "songtext/song_presence.h"

#include "songtext/current_instrument.h"

#include <cstdint>

namespace kellix {

bool HoldsSong(std::string_view text) {
    TTrack song;
    TInstrumentCode code;
    SongReadReport report;
    const int32_t current = CurrentInstrument;
    ReadSongText(song, code, text, &report);
    CurrentInstrument = current;
    const bool found = HoldsSong(song, report);
    EmptySong(song, code);
    return found;
}

bool HoldsSong(const TTrack& song, const SongReadReport& report) {
    return report.SpeedSet || report.RowSet || song.InstrumentCount > 0 || song.PatternCount > 0 ||
           song.TrackCount > 0 || song.TrackIndexCount > 0;
}

} // namespace kellix
