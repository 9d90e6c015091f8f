#include "draw_basics.h"

#include <QPainter>

#include <algorithm>

namespace kellix {

void MakeRgb32(QImage& image) {
    if (image.format() != QImage::Format_RGB32) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
}

void DrawFrame(QImage& image, int64_t x, int64_t y, uint32_t colour) {
    const int64_t width = image.width();
    const int64_t height = image.height();
    if (x >= width || y >= height || x + 14 < 0 || y + 14 < 0) {
        return;
    }
    const int left = static_cast<int>(std::max<int64_t>(x, 0));
    const int right = static_cast<int>(std::min<int64_t>(x + 14, width - 1));
    const int top = static_cast<int>(std::max<int64_t>(y, 0));
    const int bottom = static_cast<int>(std::min<int64_t>(y + 14, height - 1));
    if (y >= 0) {
        std::fill(PixelRow(image, top) + left, PixelRow(image, top) + right + 1, colour);
    }
    if (y + 14 < height) {
        std::fill(PixelRow(image, bottom) + left, PixelRow(image, bottom) + right + 1, colour);
    }
    for (int row = top; row <= bottom; ++row) {
        uint32_t* pixels = PixelRow(image, row);
        if (x >= 0) {
            pixels[x] = colour;
        }
        if (x + 14 < width) {
            pixels[x + 14] = colour;
        }
    }
}

void DrawLabel(QPainter& painter, QImage& image, int64_t x, int64_t y, const QString& text) {
    // Far away labels are dropped before any measuring, which keeps the sums below in int.
    constexpr int64_t kReach = 1 << 16;
    if (x >= image.width() || y >= image.height() || x <= -kReach || y <= -kReach) {
        return;
    }
    if (!painter.isActive()) {
        painter.begin(&image);
    }
    const QFontMetrics metrics = painter.fontMetrics();
    const QPoint baseline(static_cast<int>(x), static_cast<int>(y) + metrics.ascent());
    if (y + metrics.height() <= 0 ||
        (x < 0 && metrics.boundingRect(text).translated(baseline).right() < 0)) {
        return;
    }
    painter.drawText(baseline, text);
}

} // namespace kellix
