#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QString>

#include <cstdint>
#include <optional>

namespace kellix {

// The pictures' greys: the value g in each of the red, green and blue bytes of a 32-bit pixel.
constexpr uint32_t Grey(uint32_t g) {
    return 0xFF000000u | g << 16 | g << 8 | g;
}

// Division and remainder rounded toward minus infinity, so that bands, lines and keys repeat
// evenly on both sides of world coordinate 0.
constexpr int64_t FloorDiv(int64_t a, int64_t b) {
    const int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}
constexpr int64_t FloorMod(int64_t a, int64_t b) {
    return a - FloorDiv(a, b) * b;
}

// The drawing routines write whole 32-bit pixels into the rows; any other format is converted
// first.
void MakeRgb32(QImage& image);

inline uint32_t* PixelRow(QImage& image, int y) {
    return reinterpret_cast<uint32_t*>(image.scanLine(y));
}

// A filled rectangle of width x height pixels whose top left pixel is (x, y), clipped to the
// image; nothing when either size is below 1.
void FillBox(QImage& image, int64_t x, int64_t y, int64_t width, int64_t height, uint32_t colour);
// The one-pixel outline of such a rectangle, clipped to the image.
void DrawOutline(QImage& image, int64_t x, int64_t y, int64_t width, int64_t height,
                 uint32_t colour);
// The outline of a 15 x 15 pixel square whose top left pixel is (x, y), clipped to the image.
inline void DrawFrame(QImage& image, int64_t x, int64_t y, uint32_t colour) {
    DrawOutline(image, x, y, 15, 15, colour);
}

// Writes short labels with their top left corners at given points, in the painter's default
// font, with a transparent background. The painter opens on the image with the first label
// that can show.
class LabelWriter {
  public:
    // Without a colour, the painter's default pen writes.
    explicit LabelWriter(QImage& image, std::optional<QColor> colour = std::nullopt);
    // The height of a line of text.
    int LineHeight();
    // Skips labels that cannot reach the image.
    void Write(int64_t x, int64_t y, const QString& text);

  private:
    void Open();

    QImage& image_;
    std::optional<QColor> colour_;
    QPainter painter_;
    int ascent_ = 0;
    int height_ = 0;
};

} // namespace kellix
