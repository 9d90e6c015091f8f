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
    KeepShownNotes(song);
    SeenInstruments = instruments;
    SeenTracks = song.TrackCount();
    SeenEntries = song.TrackIndexCount();
    return refill;
}

void Selection::KeepShownNotes(const TTrack& song) {
    const TPattern* shown =
        Pattern >= 0 && Pattern < song.PatternCount() ? &song.Patterns[Pattern] : nullptr;
    const int32_t notes = shown ? shown->PointsCount() : 0;
    std::erase_if(Notes, [&](int32_t i) {
        return i < 0 || i >= notes || shown->Points[i].Instrument != Instrument;
    });
    std::sort(Notes.begin(), Notes.end());
    Notes.erase(std::unique(Notes.begin(), Notes.end()), Notes.end());
}

void Selection::NoteRemoved(int32_t index) {
    std::erase(Notes, index);
    for (int32_t& i : Notes) {
        i -= i > index ? 1 : 0;
    }
}

} // namespace kellix
