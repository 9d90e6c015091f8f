#include "wavetable.h"

#include "blocks.h"
#include "detmath.h"

#include <cmath>

namespace morvane {

void Fft(double* re, double* im, int32_t n, int32_t sign) {
    for (int32_t i = 1, j = 0; i < n; ++i) {
        int32_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    for (int32_t len = 2; len <= n; len <<= 1) {
        double angle = sign * kTwoPi / len;
        for (int32_t k = 0; k < len / 2; ++k) {
            double wr = DetCos(angle * k);
            double wi = DetSin(angle * k);
            for (int32_t start = 0; start < n; start += len) {
                int32_t a = start + k;
                int32_t b = a + len / 2;
                double tr = re[b] * wr - im[b] * wi;
                double ti = re[b] * wi + im[b] * wr;
                re[b] = re[a] - tr;
                im[b] = im[a] - ti;
                re[a] += tr;
                im[a] += ti;
            }
        }
    }
}

bool IsShape(int32_t shape) {
    return shape >= kShapeSin && shape <= kShapeSpline;
}

uint32_t PhaseStep(double hz) {
    return static_cast<uint32_t>(static_cast<int64_t>(hz / kSampleRate * 4294967296.0));
}

namespace {

// Lanczos sigma factor: tames the ringing that cutting off the harmonics leaves at edges.
double Taper(int32_t k, int32_t top) {
    double x = kPi * k / (top + 1);
    return DetSin(x) / x;
}

// Spectrum of a period: sine and cosine amplitudes of harmonic k written into X[k], X[n-k].
void SetHarmonic(std::vector<double>& re, std::vector<double>& im, int32_t k, double sine,
                 double cosine) {
    re[k] = cosine / 2;
    im[k] = -sine / 2;
    re[kTableSize - k] = cosine / 2;
    im[kTableSize - k] = sine / 2;
}

} // namespace

WaveTable BuildTable(int32_t shape, double hz, const CurveShape& curve) {
    WaveTable table;
    if (!IsShape(shape)) {
        return table;
    }
    double f = std::fabs(hz);
    int32_t top = kTableSize / 2 - 1;
    if (f * top > 20000.0) {
        top = static_cast<int32_t>(20000.0 / f);
        top = top < 1 ? 1 : top;
    }
    std::vector<double> re(kTableSize, 0.0);
    std::vector<double> im(kTableSize, 0.0);
    if (shape == kShapeSpline) {
        for (int32_t i = 0; i < kTableSize; ++i) {
            re[i] = CurveAt(curve, static_cast<double>(i) / kTableSize) / kTableSize;
        }
        Fft(re.data(), im.data(), kTableSize, -1);
        for (int32_t k = 1; k < kTableSize / 2; ++k) {
            double keep = k <= top ? Taper(k, top) : 0.0;
            re[k] *= keep;
            im[k] *= keep;
            re[kTableSize - k] *= keep;
            im[kTableSize - k] *= keep;
        }
        re[kTableSize / 2] = 0.0;
        im[kTableSize / 2] = 0.0;
    } else if (shape == kShapeSin) {
        SetHarmonic(re, im, 1, 1.0, 0.0);
    } else {
        if (shape == kShapeAbsSin) {
            re[0] = 2.0 / kPi; // |sin| of half the phase: one hump per period, 0..1
        }
        for (int32_t k = 1; k <= top; ++k) {
            double s = Taper(k, top);
            bool odd = (k & 1) != 0;
            switch (shape) {
            case kShapeAbsSin:
                SetHarmonic(re, im, k, 0.0, -4.0 / (kPi * (4.0 * k * k - 1)) * s);
                break;
            case kShapeSquare:
                if (odd) {
                    SetHarmonic(re, im, k, 4.0 / (kPi * k) * s, 0.0);
                }
                break;
            case kShapeTriangle:
                if (odd) {
                    double sign = ((k - 1) / 2) % 2 == 0 ? 1.0 : -1.0;
                    SetHarmonic(re, im, k, sign * 8.0 / (kPi * kPi * k * k) * s, 0.0);
                }
                break;
            case kShapeSaw:
                SetHarmonic(re, im, k, (odd ? 2.0 : -2.0) / (kPi * k) * s, 0.0);
                break;
            default:
                break;
            }
        }
    }
    Fft(re.data(), im.data(), kTableSize, 1);
    table.v.resize(kTableSize + 1);
    for (int32_t i = 0; i < kTableSize; ++i) {
        table.v[i] = static_cast<float>(re[i]);
    }
    table.v[kTableSize] = table.v[0];
    return table;
}

} // namespace morvane
