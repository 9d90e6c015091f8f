#pragma once

#include "song/track.h"

#include <QImage>

namespace kellix {

// The piano-roll picture of a pattern: time runs right in 16-pixel steps from world column 64,
// tones run up in 16-pixel rows from tone 83 at world row 0, a keyboard fills world columns
// 0..63. h and v are the scroll offsets (world column and row of the image's top left pixel),
// row the song's steps per band (0 counts as 1); only the notes of the given instrument are
// framed. A null pattern draws the empty grid.
void DrawPatternGrid(QImage& image, int h, int v, int32_t row, int32_t instrument,
                     const TPattern* pattern);

struct PatternCell {
    int32_t Time; // negative on the keyboard
    int32_t Tone;
};
// The cell under image pixel (x, y) at the scroll offsets h and v.
PatternCell PatternCellAt(int x, int y, int h, int v);

// The world is 96 tones high; the vertical scroll range is 0 .. kPatternScrollHeight - height.
constexpr int kPatternWorldHeight = 1536;
constexpr int kPatternScrollHeight = 1554;
constexpr int kPatternDesignedV = 750;

} // namespace kellix
