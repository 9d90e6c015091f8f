#pragma once

#include "pattern_geometry.h"
#include "song/track.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <optional>
#include <span>

namespace kellix {

// Everything the pattern picture shows.
struct PatternPicture {
    PatternView View = {};
    int32_t Row = kDefaultRow; // steps per band; 0 counts as 1
    int32_t Instrument = 0;    // the current instrument: its notes are framed and editable
    std::span<const TIdPoint> Notes = {};
    // Indices into Notes of the selected notes; indices outside Notes are ignored.
    std::span<const int32_t> Selected = {};
    std::optional<RubberBand> Band = {};
};

// The piano-roll picture (see pattern_geometry.h for the world): the grid with its bands of Row
// steps, the keyboard and its octave labels; then the notes of the other instruments as dim
// fills in their instruments' colours; then the current instrument's notes as grey frames just
// inside their cells, each around a fill whose brightness follows its Vol; the selected notes'
// cells outlined in the selection colour; and last the rubber band's outline. At the default
// cell width with only the current instrument's notes, every pixel but the fills inside the
// frames is the classic grey picture's.
void DrawPatternGrid(QImage& image, const PatternPicture& picture);

// The fixed palette of instrument colours (0xAARRGGBB, never grey), by instrument index modulo
// its size; the pictures show them dimmed or scaled by volume.
constexpr int kInstrumentColourCount = 12;
uint32_t InstrumentColour(int32_t instrument);
// The outline of the selected notes' cells and of the rubber band.
constexpr uint32_t kSelectionColour = 0xFF00FFFFu;

// The name of a tone as the keyboard labels it: tone 0 is C2, tone 72 C8, tone 39 D#5.
QString ToneName(int32_t tone);
// A note's tooltip, the instrument counted from 1 as the instrument list shows it:
// "Instrument 2, D#5, step 12, Vol 256, Pan 128".
QString NoteToolTip(const TIdPoint& note);

} // namespace kellix
