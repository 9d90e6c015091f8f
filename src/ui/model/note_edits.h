#pragma once

#include "song/track.h"

#include <cstdint>
#include <span>
#include <vector>

namespace kellix {

// The cells a note may be moved or pasted to: steps from 0, tones from C1 (-12) to B8 (83), the
// rows of the piano roll and the keys beside them (a key pressed outside them is ignored).
constexpr int32_t kLowestTone = -12;
constexpr int32_t kHighestTone = 83;

// Whether a note at (time, tone) lies on those cells.
bool OnGrid(int64_t time, int64_t tone);

// Whether every note named by selected (indices into notes) stays on the grid when moved by
// dTime steps and dTone semitones.
bool MoveFits(std::span<const TIdPoint> notes, std::span<const int32_t> selected, int32_t dTime,
              int32_t dTone);

// The edits below change a pattern's notes and give back the indices, ascending, of the notes
// they leave selected. Indices in selected are ascending and name notes of instrument. A cell
// holds one note of an instrument: the instrument's unselected notes in the cells where moved or
// added notes land are removed.

// Moves the selected notes by dTime steps and dTone semitones (they must fit); the notes keep
// their order.
std::vector<int32_t> MoveNotes(std::vector<TIdPoint>& notes, std::span<const int32_t> selected,
                               int32_t dTime, int32_t dTone, int32_t instrument);
// Removes the selected notes, the others keeping their order; nothing stays selected.
void RemoveNotes(std::vector<TIdPoint>& notes, std::span<const int32_t> selected);
// Appends the added notes of instrument (a later one of two in one cell wins); they end up
// selected.
std::vector<int32_t> AddNotes(std::vector<TIdPoint>& notes, std::span<const TIdPoint> added,
                              int32_t instrument);

} // namespace kellix
