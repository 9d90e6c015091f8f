#include "draw_pattern.h"

#include "draw_basics.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kellix {

namespace {

constexpr int kBlackKeyWidth = 48; // world columns 0..47 hold the black keys
constexpr int kOctaveHeight = 192; // twelve 16-pixel tone rows

// Colour levels out of 255: the other instruments' fills, and the current instrument's fills
// from Vol 0 up to the full kMaxVol.
constexpr uint32_t kDimLevel = 110;
constexpr uint32_t kQuietLevel = 77;
constexpr int32_t kMaxVol = 258;

constexpr uint32_t kInstrumentColours[kInstrumentColourCount] = {
    0xFFE64B3C, 0xFFF08C28, 0xFFE6D232, 0xFF96D732, 0xFF3CB450, 0xFF28B496,
    0xFF3C78F0, 0xFF825AF0, 0xFFBE50E6, 0xFFF05AAA, 0xFFAA7846, 0xFFA0A53C,
};

// Each of red, green and blue times level / 255.
uint32_t Scaled(uint32_t colour, uint32_t level) {
    uint32_t scaled = 0xFF000000u;
    for (int shift : {16, 8, 0}) {
        scaled |= ((colour >> shift & 0xFF) * level / 255) << shift;
    }
    return scaled;
}

uint32_t VolumeColour(int32_t instrument, int32_t vol) {
    const uint32_t v = static_cast<uint32_t>(std::clamp(vol, 0, kMaxVol));
    return Scaled(InstrumentColour(instrument), kQuietLevel + (255 - kQuietLevel) * v / kMaxVol);
}

// The first image column at or right of world column gx (clamped to the image).
int ImageColumn(int64_t gx, int h, int width) {
    return static_cast<int>(std::clamp<int64_t>(gx - h, 0, width));
}

bool IsBlackKey(int64_t tone) {
    switch (FloorMod(tone, 12)) {
    case 1:
    case 3:
    case 6:
    case 8:
    case 10:
        return true;
    default:
        return false;
    }
}

// The grid part of a pixel row without a horizontal line: every column classified once, then
// copied into each such row.
std::vector<uint32_t> GridRow(int first, int width, int h, int64_t cell, int32_t row) {
    const int64_t band = row == 0 ? 1 : row;
    std::vector<uint32_t> pixels(static_cast<size_t>(width - first));
    for (int x = first; x < width; ++x) {
        const int64_t d = int64_t{x} + h - kKeyboardWidth;
        uint32_t grey = Grey(0x77);
        if (d % cell != 0) {
            // Truncating division: a negative Row draws the bands of its magnitude.
            grey = (d / cell / band) % 2 != 0 ? Grey(0x33) : Grey(0x00);
        }
        pixels[static_cast<size_t>(x - first)] = grey;
    }
    return pixels;
}

void DrawGridAndKeyboard(QImage& image, const PatternView& view, int32_t row) {
    const int h = view.H;
    const int v = view.V;
    const int width = image.width();
    const int keysEnd = ImageColumn(kKeyboardWidth, h, width);
    const int blackEnd = ImageColumn(kBlackKeyWidth, h, width);
    const std::vector<uint32_t> grid =
        GridRow(keysEnd, width, h, ClampCellWidth(view.CellWidth), row);
    for (int y = 0; y < image.height(); ++y) {
        const int64_t gy = int64_t{y} + v;
        uint32_t* pixels = PixelRow(image, y);
        // Seven white keys an octave, parted by one-pixel lines at the rows where
        // (-7 gy) mod 192 < 7; the shade changes from one octave band to the next.
        uint32_t key = Grey(0x77);
        if (FloorMod(-7 * gy, kOctaveHeight) >= 7) {
            key = FloorDiv(gy, kOctaveHeight) % 2 == 0 ? Grey(0xAA) : Grey(0x99);
        }
        const int keyStart = IsBlackKey(kTopTone - FloorDiv(gy, kToneHeight)) ? blackEnd : 0;
        std::fill(pixels, pixels + keyStart, Grey(0x00));
        std::fill(pixels + keyStart, pixels + keysEnd, key);
        if (FloorMod(gy, kToneHeight) == 0) {
            std::fill(pixels + keysEnd, pixels + width, Grey(0x77));
        } else if (!grid.empty()) {
            std::memcpy(pixels + keysEnd, grid.data(), grid.size() * sizeof(uint32_t));
        }
    }
}

// A held key: the key's own pixels in its tone's row (a black key's left part, a white key's
// part without the lines between white keys) take the lit colour.
void DrawLitKeys(QImage& image, const PatternView& view, std::span<const int32_t> lit) {
    const int keysEnd = ImageColumn(kKeyboardWidth, view.H, image.width());
    const int blackEnd = ImageColumn(kBlackKeyWidth, view.H, image.width());
    for (const int32_t tone : lit) {
        const int64_t top = ToneY(tone, view);
        const int end = IsBlackKey(tone) ? blackEnd : keysEnd;
        for (int64_t y = std::max<int64_t>(top, 0);
             y < std::min<int64_t>(top + kToneHeight, image.height()); ++y) {
            uint32_t* pixels = PixelRow(image, static_cast<int>(y));
            for (int x = 0; x < end; ++x) {
                if (pixels[x] != Grey(0x77)) {
                    pixels[x] = kLitKeyColour;
                }
            }
        }
    }
}

// C8 in the row of tone 72 down to C1 in the row of tone -12, at the keyboard's right side.
void DrawOctaveLabels(QImage& image, int h, int v) {
    LabelWriter labels(image);
    for (int i = 1; i <= 8; ++i) {
        labels.Write(int64_t{50} - h, int64_t{kOctaveHeight} * i - v - 13,
                     QStringLiteral("C%1").arg(9 - i));
    }
}

// A cell's pixels from its grid lines: the other instruments' fills at 2 .. width - 2, the
// current instrument's frame at 1 .. width - 1 around its fill at 3 .. width - 3 (at the default
// width a 13-pixel, a 15-pixel and an 11-pixel square), the selection on the grid lines 0 ..
// width. So a frame never hides another instrument's note in its cell: a ring of it stays.
void DrawNotes(QImage& image, const PatternPicture& picture) {
    const PatternView& view = picture.View;
    const int64_t cell = ClampCellWidth(view.CellWidth);
    const auto box = [&](const TIdPoint& p) { return CellBox(p.Time, p.Tone, view); };
    for (const TIdPoint& p : picture.Notes) {
        if (p.Instrument != picture.Instrument) {
            const PixelBox b = box(p);
            FillBox(image, b.X + 2, b.Y + 2, cell - 3, kToneHeight - 3,
                    Scaled(InstrumentColour(p.Instrument), kDimLevel));
        }
    }
    for (const TIdPoint& p : picture.Notes) {
        if (p.Instrument == picture.Instrument) {
            const PixelBox b = box(p);
            DrawOutline(image, b.X + 1, b.Y + 1, cell - 1, kToneHeight - 1, Grey(0xAA));
            FillBox(image, b.X + 3, b.Y + 3, cell - 5, kToneHeight - 5,
                    VolumeColour(p.Instrument, p.Vol));
        }
    }
    for (const int32_t i : picture.Selected) {
        if (i >= 0 && static_cast<size_t>(i) < picture.Notes.size()) {
            const PixelBox b = box(picture.Notes[static_cast<size_t>(i)]);
            DrawOutline(image, b.X, b.Y, cell + 1, kToneHeight + 1, kSelectionColour);
        }
    }
}

void DrawBand(QImage& image, const RubberBand& band) {
    const int64_t left = std::min(band.From.x(), band.To.x());
    const int64_t top = std::min(band.From.y(), band.To.y());
    const int64_t right = std::max(band.From.x(), band.To.x());
    const int64_t bottom = std::max(band.From.y(), band.To.y());
    DrawOutline(image, left, top, right - left + 1, bottom - top + 1, kSelectionColour);
}

} // namespace

void DrawPatternGrid(QImage& image, const PatternPicture& picture) {
    MakeRgb32(image);
    if (image.isNull()) {
        return;
    }
    DrawGridAndKeyboard(image, picture.View, picture.Row);
    DrawLitKeys(image, picture.View, picture.Lit);
    DrawOctaveLabels(image, picture.View.H, picture.View.V);
    DrawNotes(image, picture);
    if (picture.Band) {
        DrawBand(image, *picture.Band);
    }
}

uint32_t InstrumentColour(int32_t instrument) {
    return kInstrumentColours[FloorMod(instrument, kInstrumentColourCount)];
}

QString ToneName(int32_t tone) {
    static const char* const names[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                          "F#", "G",  "G#", "A",  "A#", "B"};
    return QStringLiteral("%1%2")
        .arg(QLatin1StringView(names[FloorMod(tone, 12)]))
        .arg(FloorDiv(tone, 12) + 2);
}

QString NoteToolTip(const TIdPoint& note) {
    return QStringLiteral("Instrument %1, %2, step %3, Vol %4, Pan %5")
        .arg(int64_t{note.Instrument} + 1)
        .arg(ToneName(note.Tone))
        .arg(note.Time)
        .arg(note.Vol)
        .arg(note.Pan);
}

} // namespace kellix
