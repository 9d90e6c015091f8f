#include "pattern_geometry.h"

#include "draw_basics.h"

#include <algorithm>
#include <climits>
#include <iterator>

namespace kellix {

namespace {

int ClampToInt(int64_t value) {
    return static_cast<int>(std::clamp<int64_t>(value, INT_MIN, INT_MAX));
}

} // namespace

int ClampCellWidth(int cellWidth) {
    return std::clamp(cellWidth, kMinCellWidth, kMaxCellWidth);
}

int64_t StepWorldX(int64_t step, int cellWidth) {
    return kKeyboardWidth + step * ClampCellWidth(cellWidth);
}

int64_t ToneWorldY(int64_t tone) {
    return (kTopTone - tone) * kToneHeight;
}

int64_t StepX(int64_t step, const PatternView& view) {
    return StepWorldX(step, view.CellWidth) - view.H;
}

int64_t ToneY(int64_t tone, const PatternView& view) {
    return ToneWorldY(tone) - view.V;
}

int PlayLineX(double step, const PatternView& view) {
    if (!(step >= 0.0)) {
        return -1;
    }
    // Beyond 2^40 pixels every position is far right of any image.
    const double pixels = std::min(step * ClampCellWidth(view.CellWidth), 0x1p40);
    return ClampToInt(kKeyboardWidth + static_cast<int64_t>(pixels) - view.H);
}

int64_t PatternWorldWidth(int32_t row, int cellWidth) {
    return int64_t{row} * 32 * ClampCellWidth(cellWidth) + 16;
}

int PatternScrollHMax(int32_t row, int cellWidth, int imageWidth) {
    return static_cast<int>(
        std::clamp<int64_t>(PatternWorldWidth(row, cellWidth) - imageWidth, 0, INT_MAX));
}

int PatternScrollVMax(int imageHeight) {
    return std::max(kPatternScrollHeight - imageHeight, 0);
}

int ZoomedH(int h, int x, int oldWidth, int newWidth) {
    const int64_t d = int64_t{x} + h - kKeyboardWidth;
    if (d < 0) {
        return std::max(h, 0);
    }
    const int64_t zoomed = d * ClampCellWidth(newWidth) / ClampCellWidth(oldWidth);
    return static_cast<int>(std::clamp<int64_t>(kKeyboardWidth + zoomed - x, 0, INT_MAX));
}

int ZoomStep(int cellWidth, int steps) {
    static constexpr int kWidths[] = {8, 12, 16, 24, 32, 48, 64};
    constexpr int last = static_cast<int>(std::size(kWidths)) - 1;
    const int width = ClampCellWidth(cellWidth);
    // From the first step at or above the width; a width between two steps reaches the one
    // above with the first step up.
    const int at = static_cast<int>(
        std::lower_bound(std::begin(kWidths), std::end(kWidths), width) - std::begin(kWidths));
    if (steps > 0 && kWidths[at] > width) {
        --steps;
    }
    return kWidths[std::clamp(at + steps, 0, last)];
}

PatternView ViewOnNotes(std::span<const TIdPoint> notes, int32_t instrument,
                        const PatternView& view, int width, int height) {
    const bool own = std::any_of(notes.begin(), notes.end(),
                                 [&](const TIdPoint& p) { return p.Instrument == instrument; });
    int64_t first = INT64_MAX;
    int64_t last = INT64_MIN;
    int64_t low = INT64_MAX;
    int64_t high = INT64_MIN;
    for (const TIdPoint& p : notes) {
        if (!own || p.Instrument == instrument) {
            first = std::min<int64_t>(first, p.Time);
            last = std::max<int64_t>(last, p.Time);
            low = std::min<int64_t>(low, p.Tone);
            high = std::max<int64_t>(high, p.Tone);
        }
    }
    PatternView shown = view;
    if (first > last) {
        return shown;
    }
    const int cell = ClampCellWidth(view.CellWidth);
    const int64_t left = StepWorldX(first, cell);
    const int64_t right = StepWorldX(last + 1, cell);
    if (left < view.H || right > int64_t{view.H} + width) {
        shown.H = right <= width ? 0 : ClampToInt(std::max<int64_t>(left - kKeyboardWidth, 0));
    }
    const int64_t top = ToneWorldY(high);
    const int64_t bottom = ToneWorldY(low) + kToneHeight;
    if (top < view.V || bottom > int64_t{view.V} + height) {
        const int64_t v = bottom - top <= height ? (top + bottom - height) / 2 : top;
        shown.V = ClampToInt(std::max<int64_t>(v, 0));
    }
    return shown;
}

int FollowH(double step, const PatternView& view, int width) {
    const int x = PlayLineX(step, view);
    if (!(step >= 0.0) || (x >= 0 && x < width)) {
        return view.H;
    }
    return ClampToInt(static_cast<int64_t>(x) + view.H - kKeyboardWidth);
}

PatternCell PatternCellAt(int x, int y, const PatternView& view) {
    const int64_t gx = int64_t{x} + view.H;
    const int64_t gy = int64_t{y} + view.V;
    return {static_cast<int32_t>(FloorDiv(gx - kKeyboardWidth, ClampCellWidth(view.CellWidth))),
            static_cast<int32_t>(kTopTone - FloorDiv(gy, kToneHeight))};
}

PixelBox CellBox(int32_t time, int32_t tone, const PatternView& view) {
    return {StepX(time, view), ToneY(tone, view), ClampCellWidth(view.CellWidth), kToneHeight};
}

CellRange CellsCovered(const RubberBand& band, const PatternView& view) {
    const PatternCell topLeft = PatternCellAt(std::min(band.From.x(), band.To.x()),
                                              std::min(band.From.y(), band.To.y()), view);
    const PatternCell bottomRight = PatternCellAt(std::max(band.From.x(), band.To.x()),
                                                  std::max(band.From.y(), band.To.y()), view);
    return {topLeft.Time, bottomRight.Time, bottomRight.Tone, topLeft.Tone};
}

int32_t NoteAt(std::span<const TIdPoint> notes, int32_t instrument, int x, int y,
               const PatternView& view) {
    const PatternCell cell = PatternCellAt(x, y, view);
    for (size_t i = notes.size(); i-- > 0;) {
        const TIdPoint& p = notes[i];
        if (p.Instrument == instrument && p.Time == cell.Time && p.Tone == cell.Tone) {
            return static_cast<int32_t>(i);
        }
    }
    return -1;
}

int32_t NoteShownAt(std::span<const TIdPoint> notes, int32_t instrument, int x, int y,
                    const PatternView& view) {
    const PatternCell cell = PatternCellAt(x, y, view);
    int32_t other = -1;
    for (size_t i = notes.size(); i-- > 0;) {
        const TIdPoint& p = notes[i];
        if (p.Time == cell.Time && p.Tone == cell.Tone) {
            if (p.Instrument == instrument) {
                return static_cast<int32_t>(i);
            }
            if (other < 0) {
                other = static_cast<int32_t>(i);
            }
        }
    }
    return other;
}

std::vector<int32_t> NotesCovered(std::span<const TIdPoint> notes, int32_t instrument,
                                  const RubberBand& band, const PatternView& view) {
    const CellRange cells = CellsCovered(band, view);
    std::vector<int32_t> covered;
    for (size_t i = 0; i < notes.size(); ++i) {
        if (notes[i].Instrument == instrument && cells.Contains(notes[i].Time, notes[i].Tone)) {
            covered.push_back(static_cast<int32_t>(i));
        }
    }
    return covered;
}

} // namespace kellix
