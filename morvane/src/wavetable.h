// One period of each wave shape, band-limited for the frequency it is played at: harmonics
// above 20 kHz are left out, so high notes do not alias.
#pragma once

#include "curve.h"

#include <cstdint>
#include <vector>

namespace morvane {

enum Shape : int32_t {
    kShapeSin = 0,
    kShapeAbsSin = 1,
    kShapeSquare = 2,
    kShapeTriangle = 3,
    kShapeSaw = 4,
    kShapeSpline = 5,
};

constexpr int32_t kTableBits = 12;
constexpr int32_t kTableSize = 1 << kTableBits;
constexpr int32_t kFracBits = 32 - kTableBits;

// kTableSize values of one period and a copy of the first, so that interpolation needs no wrap.
struct WaveTable {
    std::vector<float> v;
};

bool IsShape(int32_t shape);
// The period of shape for playing at frequency hz (its absolute value); FG_SPLINE follows curve.
WaveTable BuildTable(int32_t shape, double hz, const CurveShape& curve);

// Phase is a 32-bit fraction of a period.
inline float TableAt(const float* t, uint32_t phase) {
    uint32_t i = phase >> kFracBits;
    float frac = static_cast<float>(phase & ((1u << kFracBits) - 1)) * (1.0f / (1u << kFracBits));
    return t[i] + (t[i + 1] - t[i]) * frac;
}

// The phase step per frame for a frequency within -22050..22050 Hz.
uint32_t PhaseStep(double hz);

// In-place complex FFT of n (a power of two) values: X[k] = sum x[j] e^(sign 2 pi i j k / n).
void Fft(double* re, double* im, int32_t n, int32_t sign);

} // namespace morvane
