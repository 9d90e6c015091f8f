#include "draw_pattern.h"

#include "draw_basics.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace kellix {

namespace {

constexpr int kKeyboardWidth = 64; // world columns 0..63
constexpr int kBlackKeyWidth = 48; // world columns 0..47 hold the black keys
constexpr int kOctaveHeight = 192; // twelve 16-pixel tone rows
constexpr int kTopTone = 83;       // the tone of world row 0

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
std::vector<uint32_t> GridRow(int first, int width, int h, int32_t row) {
    const int64_t band = row == 0 ? 1 : row;
    std::vector<uint32_t> pixels(static_cast<size_t>(width - first));
    for (int x = first; x < width; ++x) {
        const int64_t d = int64_t{x} + h - kKeyboardWidth;
        uint32_t grey = Grey(0x77);
        if (d % 16 != 0) {
            // Truncating division: a negative Row draws the bands of its magnitude.
            grey = (d / 16 / band) % 2 != 0 ? Grey(0x33) : Grey(0x00);
        }
        pixels[static_cast<size_t>(x - first)] = grey;
    }
    return pixels;
}

void DrawGridAndKeyboard(QImage& image, int h, int v, int32_t row) {
    const int width = image.width();
    const int keysEnd = ImageColumn(kKeyboardWidth, h, width);
    const int blackEnd = ImageColumn(kBlackKeyWidth, h, width);
    const std::vector<uint32_t> grid = GridRow(keysEnd, width, h, row);
    for (int y = 0; y < image.height(); ++y) {
        const int64_t gy = int64_t{y} + v;
        uint32_t* pixels = PixelRow(image, y);
        // Seven white keys an octave, parted by one-pixel lines at the rows where
        // (-7 gy) mod 192 < 7; the shade changes from one octave band to the next.
        uint32_t key = Grey(0x77);
        if (FloorMod(-7 * gy, kOctaveHeight) >= 7) {
            key = FloorDiv(gy, kOctaveHeight) % 2 == 0 ? Grey(0xAA) : Grey(0x99);
        }
        const int keyStart = IsBlackKey(kTopTone - FloorDiv(gy, 16)) ? blackEnd : 0;
        std::fill(pixels, pixels + keyStart, Grey(0x00));
        std::fill(pixels + keyStart, pixels + keysEnd, key);
        if (FloorMod(gy, 16) == 0) {
            std::fill(pixels + keysEnd, pixels + width, Grey(0x77));
        } else if (!grid.empty()) {
            std::memcpy(pixels + keysEnd, grid.data(), grid.size() * sizeof(uint32_t));
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

} // namespace

void DrawPatternGrid(QImage& image, int h, int v, int32_t row, int32_t instrument,
                     const TPattern* pattern) {
    MakeRgb32(image);
    if (image.isNull()) {
        return;
    }
    DrawGridAndKeyboard(image, h, v, row);
    DrawOctaveLabels(image, h, v);
    if (pattern == nullptr || pattern->Points == nullptr) {
        return;
    }
    for (int32_t i = 0; i < pattern->PointsCount; ++i) {
        const TIdPoint& p = pattern->Points[i];
        if (p.Instrument == instrument) {
            DrawFrame(image, int64_t{p.Time} * 16 - h + kKeyboardWidth + 1,
                      (kTopTone - int64_t{p.Tone}) * 16 - v + 1, Grey(0xAA));
        }
    }
}

PatternCell PatternCellAt(int x, int y, int h, int v) {
    const int64_t gx = int64_t{x} + h;
    const int64_t gy = int64_t{y} + v;
    return {static_cast<int32_t>(FloorDiv(gx, 16) - kKeyboardWidth / 16),
            static_cast<int32_t>(kTopTone - FloorDiv(gy, 16))};
}

} // namespace kellix
