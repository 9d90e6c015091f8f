#include "draw_track.h"

#include "draw_basics.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace kellix {

namespace {

constexpr int kCell = 16;

void DrawGrid(QImage& image, int v) {
    const int width = image.width();
    std::vector<uint32_t> cells(static_cast<size_t>(width), Grey(0x00));
    for (int x = 0; x < width; x += kCell) {
        cells[static_cast<size_t>(x)] = Grey(0x77);
    }
    for (int y = 0; y < image.height(); ++y) {
        uint32_t* pixels = PixelRow(image, y);
        if (FloorMod(int64_t{y} + v, kCell) == 0) {
            std::fill(pixels, pixels + width, Grey(0x77));
        } else {
            std::memcpy(pixels, cells.data(), cells.size() * sizeof(uint32_t));
        }
    }
}

// Only the rows of cells whose labels can reach the image are written.
void DrawLabels(QImage& image, int v, int32_t patternCount, int64_t perRow) {
    if (patternCount < 1) {
        return;
    }
    LabelWriter labels(image, QColor(0xDD, 0xDD, 0xDD));
    const int64_t textHeight = labels.LineHeight();
    // A label's top is at 16 r + 2 - v; it shows when that is above the image's bottom and its
    // text reaches below the image's top.
    const int64_t firstRow = std::max<int64_t>(0, FloorDiv(int64_t{v} - 2 - textHeight, kCell) + 1);
    const int64_t lastRow = FloorDiv(int64_t{image.height()} + v - 3, kCell);
    const int64_t end = std::min<int64_t>(patternCount, (lastRow + 1) * perRow);
    for (int64_t n = firstRow * perRow; n < end; ++n) {
        labels.Write(kCell * (n % perRow) + 1, kCell * (n / perRow) + 2 - v,
                     QString::number(n + 1));
    }
}

} // namespace

void DrawTrackGrid(QImage& image, int v, int32_t patternCount, const TTrackPattern* track) {
    MakeRgb32(image);
    if (image.isNull()) {
        return;
    }
    DrawGrid(image, v);
    const int64_t perRow = image.width() / kCell;
    if (perRow == 0) {
        return;
    }
    DrawLabels(image, v, patternCount, perRow);
    if (track == nullptr) {
        return;
    }
    for (const int64_t e : track->PatternIndex) {
        // A negative entry names no cell, so it has no frame.
        if (e >= 0) {
            DrawFrame(image, kCell * (e % perRow) + 1, kCell * (e / perRow) + 1 - v, Grey(0xAA));
        }
    }
}

int32_t TrackCellAt(int x, int y, int width, int v) {
    const int64_t perRow = width / kCell;
    const int64_t gy = int64_t{y} + v;
    // Left of the picture, above its first row, or with no whole cell a row: no cell.
    if (perRow <= 0 || x < 0 || gy < 0) {
        return -1;
    }
    const int64_t n = gy / kCell * perRow + x / kCell;
    return static_cast<int32_t>(std::min<int64_t>(n, std::numeric_limits<int32_t>::max()));
}

} // namespace kellix
