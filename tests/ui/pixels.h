#pragma once

#include <QImage>
#include <QRect>

#include <algorithm>
#include <cstdint>

// Pixel helpers for the window's picture tests. Colours are 0xRRGGBB, without the alpha byte.
namespace kellix::test {

constexpr uint32_t GreyRgb(uint32_t g) {
    return g * 0x010101u;
}

inline uint32_t RgbAt(const QImage& image, int x, int y) {
    return image.pixel(x, y) & 0xFFFFFFu;
}

// A 32-bit picture filled with one grey.
inline QImage GreyImage(int width, int height, uint32_t g) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(0xFF000000u | GreyRgb(g));
    return image;
}

// Whether some pixel of the rectangle (clipped to the image) is none of the given colours.
inline bool AnyPixelOtherThan(const QImage& image, const QRect& box,
                              std::initializer_list<uint32_t> colours) {
    const QRect clipped = box.intersected(image.rect());
    for (int y = clipped.top(); y <= clipped.bottom(); ++y) {
        for (int x = clipped.left(); x <= clipped.right(); ++x) {
            if (std::find(colours.begin(), colours.end(), RgbAt(image, x, y)) == colours.end()) {
                return true;
            }
        }
    }
    return false;
}

} // namespace kellix::test
