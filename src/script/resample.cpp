#include "script/resample.h"

#include "script/fft.h"
#include "support/blocks.h"

#include <cmath>
#include <cstring>

namespace kellix {

namespace {

// Z'[(2k) mod h] = Z[k mod h] for -h/4 <= k < h/4, every other bin 0. The lower half is filled
// from its top down and the upper half from its bottom up, so that no bin is overwritten
// before it is read.
void DoubleFrequencies(double* z, int64_t h) {
    auto move = [z](int64_t to, int64_t from) {
        z[2 * to] = z[2 * from];
        z[2 * to + 1] = z[2 * from + 1];
    };
    auto clear = [z](int64_t bin) { z[2 * bin] = z[2 * bin + 1] = 0.0; };
    for (int64_t j = 0; j < h / 4; ++j) {
        move(h / 2 - 2 - 2 * j, h / 4 - 1 - j);
        clear(h / 2 - 1 - 2 * j);
    }
    for (int64_t j = 0; j < h / 4; ++j) {
        move(h / 2 + 2 * j, 3 * h / 4 + j);
        clear(h / 2 + 2 * j + 1);
    }
}

int16_t Saturate(double value) {
    double t = std::trunc(value * 32768.0);
    if (t >= 32767.0) {
        return 32767;
    }
    if (t <= -32768.0) {
        return -32768;
    }
    return static_cast<int16_t>(t);
}

} // namespace

void ResampleBlock(SampleBlock* block) {
    if (!block || block->DataSize < 2) {
        return;
    }
    const int64_t stride = block->Format == kSampleStereo ? 4 : 2;
    const int64_t frames =
        block->Format == kSampleStereo ? block->DataSize / 2 / 2 : block->DataSize / 2;
    int64_t n = 1;
    while (n < frames) {
        n *= 2;
    }
    // n reals, padded to a whole complex value for the single-frame block.
    double* x = nullptr;
    AllocBlock(x, static_cast<std::size_t>(n + 1) * sizeof(double));
    uint8_t* data = SampleData(block);
    for (int64_t k = 0; k < n + 1; ++k) {
        x[k] = k < frames ? LoadS16(data + k * stride) * (1.0 / 32768.0) : 0.0;
    }
    const int64_t h = n / 2 > 0 ? n / 2 : 1;
    FFT(x, h, false);
    if (n >= 8) {
        DoubleFrequencies(x, h);
    }
    FFT(x, h, true);
    for (int64_t k = 0; k < frames; ++k) {
        StoreS16(data + k * stride, Saturate(x[k]));
    }
    FreeBlock(x);
}

} // namespace kellix
