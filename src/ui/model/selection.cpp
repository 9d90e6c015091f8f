#include "ui/model/selection.h"

#include <algorithm>

namespace kellix {

uint32_t Selection::Repair(const TTrack& song) {
    uint32_t refill = 0;
    const int32_t instruments = song.InstrumentCount();
    if (Instrument >= instruments || (Editing && Instrument < 0) ||
        (SeenInstruments == 0 && instruments > 0)) {
        refill |= kRefillInstruments;
    }
    if (Pattern < 0 || Pattern >= song.PatternCount() || PatternItem >= song.PatternCount()) {
        refill |= kRefillPatterns;
    }
    if (PlayListRow >= song.TrackIndexCount() || (SeenEntries == 0 && song.TrackIndexCount() > 0)) {
        refill |= kRefillPlayList;
    }
    if (Track >= song.TrackCount() || TrackItem >= song.TrackCount() ||
        (SeenTracks == 0 && song.TrackCount() > 0)) {
        refill |= kRefillTracks;
    }
    const int32_t notes =
        Pattern >= 0 && Pattern < song.PatternCount() ? song.Patterns[Pattern].PointsCount() : 0;
    Notes.erase(std::remove_if(Notes.begin(), Notes.end(),
                               [notes](int32_t i) { return i < 0 || i >= notes; }),
                Notes.end());
    SeenInstruments = instruments;
    SeenTracks = song.TrackCount();
    SeenEntries = song.TrackIndexCount();
    return refill;
}

} // namespace kellix
