#include "script/fft.h"

#include <cmath>
#include <numbers>
#include <utility>

namespace kellix {

void FFT(double* data, int64_t count, bool inverse) {
    if (count < 1) {
        return;
    }
    // Bit-reversal reordering of the complex values.
    for (int64_t i = 0, j = 0; i < count; ++i) {
        if (i < j) {
            std::swap(data[2 * i], data[2 * j]);
            std::swap(data[2 * i + 1], data[2 * j + 1]);
        }
        int64_t bit = count >> 1;
        while (bit > 0 && (j & bit)) {
            j ^= bit;
            bit >>= 1;
        }
        j |= bit;
    }
    // Butterflies of doubling span; the twiddle factor follows the recurrence
    // w <- w + w * (-2 sin^2(theta / 2) + i sin(theta)), which keeps its error small.
    const double sign = inverse ? -1.0 : 1.0;
    for (int64_t span = 1; span < count; span *= 2) {
        const double theta = sign * 2.0 * std::numbers::pi / static_cast<double>(2 * span);
        const double s = std::sin(0.5 * theta);
        const double wpr = -2.0 * s * s;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int64_t m = 0; m < span; ++m) {
            for (int64_t i = m; i < count; i += 2 * span) {
                const int64_t j = i + span;
                const double tr = wr * data[2 * j] - wi * data[2 * j + 1];
                const double ti = wr * data[2 * j + 1] + wi * data[2 * j];
                data[2 * j] = data[2 * i] - tr;
                data[2 * j + 1] = data[2 * i + 1] - ti;
                data[2 * i] += tr;
                data[2 * i + 1] += ti;
            }
            const double t = wr;
            wr += wr * wpr - wi * wpi;
            wi += wi * wpr + t * wpi;
        }
    }
    if (inverse) {
        const double scale = 1.0 / static_cast<double>(count);
        for (int64_t i = 0; i < 2 * count; ++i) {
            data[i] *= scale;
        }
    }
}

} // namespace kellix
