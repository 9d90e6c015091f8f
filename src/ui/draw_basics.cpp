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
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(x + 14, width - 1);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(y + 14, height - 1);
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const auto row = [&](int64_t r) { return reinterpret_cast<uint32_t*>(bits + r * stride); };
    if (y >= 0) {
        std::fill(row(top) + left, row(top) + right + 1, colour);
    }
    if (y + 14 < height) {
        std::fill(row(bottom) + left, row(bottom) + right + 1, colour);
    }
    for (int64_t r = top; r <= bottom; ++r) {
        if (x >= 0) {
            row(r)[x] = colour;
        }
        if (x + 14 < width) {
            row(r)[x + 14] = colour;
        }
    }
}

LabelWriter::LabelWriter(QImage& image, std::optional<QColor> colour)
    : image_(image), colour_(colour) {}

void LabelWriter::Open() {
    if (painter_.isActive()) {
        return;
    }
    painter_.begin(&image_);
    if (colour_) {
        painter_.setPen(*colour_);
    }
    const QFontMetrics metrics = painter_.fontMetrics();
    ascent_ = metrics.ascent();
    height_ = metrics.height();
}

int LabelWriter::LineHeight() {
    Open();
    return height_;
}

void LabelWriter::Write(int64_t x, int64_t y, const QString& text) {
    // Far away labels are dropped before any measuring, which keeps the sums below in int.
    constexpr int64_t kReach = 1 << 16;
    if (x >= image_.width() || y >= image_.height() || x <= -kReach || y <= -kReach) {
        return;
    }
    Open();
    const QPoint baseline(static_cast<int>(x), static_cast<int>(y) + ascent_);
    if (y + height_ <= 0 ||
        (x < 0 && painter_.fontMetrics().boundingRect(text).translated(baseline).right() < 0)) {
        return;
    }
    painter_.drawText(baseline, text);
}

} // namespace kellix
