#pragma once

#include "song/track.h"

#include <cstdint>
#include <vector>

namespace kellix {

// What the editor has chosen in the song: the instrument, the pattern and track shown, the
// play-list row and the selected notes. -1 stands for none.
struct Selection {
    // The instrument whose code the code box shows and stores: 0 after the instrument list is
    // filled, also when there are no instruments (its code is then never stored).
    int32_t Instrument = -1;
    // Whether that instrument is also the one being edited (its sample drawn, its tuning and
    // envelope edited, its notes framed): not after a click below the last instrument.
    bool Editing = false;
    int32_t Pattern = -1;     // shown in the pattern editor
    int32_t PatternItem = -1; // picked in the Pattern box (a typed text may name none)
    int32_t Track = -1;       // shown in the track editor
    int32_t TrackItem = -1;   // picked in the Track box
    int32_t PlayListRow = -1;
    // Selected notes of the shown pattern: indices into its notes, ascending, each naming a note
    // of Instrument.
    std::vector<int32_t> Notes;

    // The instrument being edited, -1 for none.
    int32_t Active() const { return Editing ? Instrument : -1; }

    // What Repair found no longer naming anything, for the editor to fill again as after a
    // change of that count.
    enum : uint32_t {
        kRefillInstruments = 1u << 0,
        kRefillPatterns = 1u << 1,
        kRefillTracks = 1u << 2,
        kRefillPlayList = 1u << 3,
    };
    // Run after every change of the song (undo and redo, count edits, Open): a choice that names
    // nothing any more, or a table that had no elements and has some again, goes back to its
    // first element (or none); notes past the shown pattern or of another instrument are no
    // longer selected.
    uint32_t Repair(const TTrack& song);
    // Keeps the selected notes that name a note of Instrument in the shown pattern, ascending and
    // once each.
    void KeepShownNotes(const TTrack& song);
    // Note index of the shown pattern was removed: it is no longer selected, and the selected
    // notes after it move down by one.
    void NoteRemoved(int32_t index);

    // The counts the selection was last repaired or filled against.
    int32_t SeenInstruments = 0;
    int32_t SeenTracks = 0;
    int32_t SeenEntries = 0;
};

} // namespace kellix
