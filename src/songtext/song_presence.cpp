#include "songtext/song_presence.h"

namespace kellix {

bool HoldsSong(std::string_view text) {
    TTrack song;
    return HoldsSong(song, ReadSongText(song, text));
}

bool HoldsSong(const TTrack& song, const SongReadReport& report) {
    return report.SpeedSet || report.RowSet || song.InstrumentCount() > 0 ||
           song.PatternCount() > 0 || song.TrackCount() > 0 || song.TrackIndexCount() > 0;
}

} // namespace kellix
