#include "draw_sample.h"

#include "draw_basics.h"

#include <algorithm>
#include <cstring>

namespace kellix {

namespace {

// Gives the image the width, keeping the content of the columns both widths share; columns that
// never held anything are white.
void TakeWidth(QImage& image, int width) {
    MakeRgb32(image);
    width = std::max(width, 0);
    if (image.width() == width) {
        return;
    }
    QImage resized(width, image.height(), QImage::Format_RGB32);
    resized.fill(Grey(0xFF));
    const int kept = std::min(width, image.width());
    for (int y = 0; y < resized.height(); ++y) {
        std::memcpy(resized.scanLine(y), image.constScanLine(y),
                    static_cast<size_t>(kept) * sizeof(uint32_t));
    }
    image = resized;
}

// Column j, black in the rows lo..hi counted from the bottom (image rows bottom - hi .. bottom -
// lo), white elsewhere.
void PaintColumn(QImage& image, int j, int64_t lo, int64_t hi) {
    const int64_t bottom = image.height() - 1;
    const int64_t blackFrom = bottom - hi;
    const int64_t blackTo = bottom - lo;
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int64_t y = 0; y <= bottom; ++y) {
        reinterpret_cast<uint32_t*>(bits + y * stride)[j] =
            (y >= blackFrom && y <= blackTo) ? Grey(0x00) : Grey(0xFF);
    }
}

} // namespace

void DrawSample(QImage& image, int width, const SampleBlock* sample) {
    TakeWidth(image, width);
    if (sample == nullptr) {
        return;
    }
    const bool stereo = sample->Format == kSampleStereo;
    // Whole frames only: a size that is negative, odd or a part of a frame reads nothing beyond
    // the data.
    const int32_t size = sample->DataSize;
    const int64_t frames = stereo ? size / 2 / 2 : size / 2;
    if (frames < 1) {
        return;
    }
    const uint8_t* data = SampleData(sample);
    const int columns = image.width();
    const int64_t middle = image.height() / 2;
    // The quotient is rounded once to single precision (a double quotient of two ints rounds to
    // the same float as the exact one); the position then adds up in single precision.
    const float step =
        static_cast<float>(static_cast<double>(columns) / static_cast<double>(frames));
    float pos = 0.0f;
    int64_t lo = middle;
    int64_t hi = middle;
    int64_t prev = -1;
    int j = 0;
    for (int64_t k = 0; k < frames && j < columns; ++k) {
        int32_t s;
        if (stereo) {
            s = (int32_t{LoadS16(data + 4 * k)} + LoadS16(data + 4 * k + 2)) >> 1;
        } else {
            s = LoadS16(data + 2 * k);
        }
        const int64_t value = (s >> 9) + middle;
        lo = std::min(lo, value);
        hi = std::max(hi, value);
        const auto t = static_cast<int64_t>(pos);
        if (t != prev) {
            PaintColumn(image, j, lo, hi);
            ++j;
            lo = value;
            hi = value;
        }
        prev = t;
        pos = pos + step;
    }
}

} // namespace kellix
