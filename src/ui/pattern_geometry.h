#pragma once

#include "song/track.h"

#include <QPoint>

#include <cstdint>
#include <span>
#include <vector>

namespace kellix {

// The pattern editor's world: time runs right in cells of a chosen width from world column 64,
// tones run up in 16-pixel rows from tone 83 at world row 0, a keyboard fills world columns
// 0..63. The world is 96 tones high (83 down to -12); the vertical scroll range is
// 0 .. kPatternScrollHeight - image height, and the designed position shows tone 37 at the top.
constexpr int kKeyboardWidth = 64;
constexpr int kToneHeight = 16;
constexpr int32_t kTopTone = 83;
constexpr int kPatternWorldHeight = 1536;
constexpr int kPatternScrollHeight = 1554;
constexpr int kPatternDesignedV = 750;

// The width of a time step in pixels: the zoom of the time axis. The default draws the classic
// square cells; the tone axis never zooms.
constexpr int kDefaultCellWidth = 16;
constexpr int kMinCellWidth = 8;
constexpr int kMaxCellWidth = 64;
int ClampCellWidth(int cellWidth);

// What part of the world an image shows: H and V are the world column and row of its top left
// pixel. A cell width outside kMinCellWidth..kMaxCellWidth is clamped into it wherever it is used.
struct PatternView {
    int H = 0;
    int V = 0;
    int CellWidth = kDefaultCellWidth;
};

// The world column of the grid line at the left of a step, and the world row of the grid line at
// the top of a tone's row.
int64_t StepWorldX(int64_t step, int cellWidth);
int64_t ToneWorldY(int64_t tone);
// The same in image pixels.
int64_t StepX(int64_t step, const PatternView& view);
int64_t ToneY(int64_t tone, const PatternView& view);

// The image column of the play line at a (fractional) step; -1 before the pattern starts (a
// negative or undefined step). Far positions are clamped into int.
int PlayLineX(double step, const PatternView& view);

// The world columns the horizontal scroll bar covers for the song's Row (32 bands of Row steps,
// plus a margin), and the scroll bars' maxima for an image of the given size: never below 0, so a
// short Row in a wide window does not scroll.
int64_t PatternWorldWidth(int32_t row, int cellWidth);
int PatternScrollHMax(int32_t row, int cellWidth, int imageWidth);
int PatternScrollVMax(int imageHeight);

// The horizontal scroll offset that keeps the time under image column x in place when the cell
// width changes from oldWidth to newWidth (the offset unchanged over the keyboard); at least 0.
int ZoomedH(int h, int x, int oldWidth, int newWidth);

// The next cell width of the zoom steps 8, 12, 16, 24, 32, 48, 64 in the direction of steps
// (positive: wider), stopping at either end.
int ZoomStep(int cellWidth, int steps);

// The scroll offsets that bring notes into a view of width x height pixels: the instrument's
// notes when it has any in the list, else all of them. An axis on which they are all in view
// keeps its offset. Otherwise horizontally the view starts at 0 when they fit there, else a
// keyboard's width before the earliest; vertically their rows are centred, or the highest is at
// the top when they do not fit. The view itself when there are no notes.
PatternView ViewOnNotes(std::span<const TIdPoint> notes, int32_t instrument,
                        const PatternView& view, int width, int height);

// The horizontal offset that keeps the play line at a step in a view width pixels wide: the
// same while it is in view, else the line a keyboard's width from the left (0 at the start).
int FollowH(double step, const PatternView& view, int width);

struct PatternCell {
    int32_t Time; // negative on the keyboard
    int32_t Tone;
};
// The cell under image pixel (x, y); a cell owns the grid lines at its left and top.
PatternCell PatternCellAt(int x, int y, const PatternView& view);

// A rectangle of image pixels, wide enough for cells far outside the image.
struct PixelBox {
    int64_t X;
    int64_t Y;
    int64_t Width;
    int64_t Height;
};
// The pixels of a cell, its left and top grid lines included: CellWidth x 16.
PixelBox CellBox(int32_t time, int32_t tone, const PatternView& view);

// The cells from FirstTime to LastTime and from LowTone to HighTone, all included.
struct CellRange {
    int32_t FirstTime;
    int32_t LastTime;
    int32_t LowTone;
    int32_t HighTone;
    bool Contains(int32_t time, int32_t tone) const {
        return time >= FirstTime && time <= LastTime && tone >= LowTone && tone <= HighTone;
    }
};
// A rubber band: the rectangle of image pixels with these two corners, both included, in
// whatever order a drag gives them.
struct RubberBand {
    QPoint From;
    QPoint To;
};
// The cells whose pixels the band touches.
CellRange CellsCovered(const RubberBand& band, const PatternView& view);

// The index of the instrument's note in the cell under image pixel (x, y): the last one when
// several share the cell, as the song's own lookup answers; -1 when there is none.
int32_t NoteAt(std::span<const TIdPoint> notes, int32_t instrument, int x, int y,
               const PatternView& view);
// The note a tooltip names at image pixel (x, y): the instrument's own note in the cell as NoteAt
// finds it, else the last note of any other instrument there; -1 when the cell is empty.
int32_t NoteShownAt(std::span<const TIdPoint> notes, int32_t instrument, int x, int y,
                    const PatternView& view);
// The indices, in order, of the instrument's notes whose cells the band touches.
std::vector<int32_t> NotesCovered(std::span<const TIdPoint> notes, int32_t instrument,
                                  const RubberBand& band, const PatternView& view);

} // namespace kellix
