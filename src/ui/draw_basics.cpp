#include "draw_basics.h"

#include <QPainter>

#include <algorithm>

namespace kellix {

void MakeRgb32(QImage& image) {
    if (image.format() != QImage::Format_RGB32) {
        image = image.convertToFormat(QImage::Format_RGB32);
    }
}

namespace {

// The image's pixel rows, taken once for a whole box: each non-const row lookup re-checks that
// the image owns its pixels.
struct Rows {
    explicit Rows(QImage& image) : bits(image.bits()), stride(image.bytesPerLine()) {}
    uint32_t* operator[](int64_t y) const { return reinterpret_cast<uint32_t*>(bits + y * stride); }
    uchar* bits;
    qsizetype stride;
};

// Columns left..right - 1 of rows top..bottom - 1, already clipped to the image.
void Fill(const Rows& rows, int64_t left, int64_t right, int64_t top, int64_t bottom,
          uint32_t colour) {
    for (int64_t r = top; r < bottom && left < right; ++r) {
        std::fill(rows[r] + left, rows[r] + right, colour);
    }
}

} // namespace

void FillBox(QImage& image, int64_t x, int64_t y, int64_t width, int64_t height, uint32_t colour) {
    if (width < 1 || height < 1 || x >= image.width() || y >= image.height() || x + width <= 0 ||
        y + height <= 0) {
        return;
    }
    Fill(Rows(image), std::max<int64_t>(x, 0), std::min<int64_t>(x + width, image.width()),
         std::max<int64_t>(y, 0), std::min<int64_t>(y + height, image.height()), colour);
}

void DrawOutline(QImage& image, int64_t x, int64_t y, int64_t width, int64_t height,
                 uint32_t colour) {
    const int64_t w = image.width();
    const int64_t h = image.height();
    if (width < 1 || height < 1 || x >= w || y >= h || x + width <= 0 || y + height <= 0) {
        return;
    }
    const Rows rows(image);
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(x + width, w);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(y + height, h);
    if (y >= 0) {
        Fill(rows, left, right, y, y + 1, colour);
    }
    if (y + height <= h) {
        Fill(rows, left, right, y + height - 1, y + height, colour);
    }
    for (int64_t r = top; r < bottom; ++r) {
        if (x >= 0) {
            rows[r][x] = colour;
        }
        if (x + width <= w) {
            rows[r][x + width - 1] = colour;
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
