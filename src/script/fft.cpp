#include "script/fft.h"

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

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
    // Butterflies of doubling span. The twiddle factors of a span follow the recurrence
    // w <- w + w * (-2 sin^2(theta / 2) + i sin(theta)), which keeps its error small; they are
    // worked out once per span so that each block of butterflies runs through memory in order.
    const double sign = inverse ? -1.0 : 1.0;
    std::vector<double> w(static_cast<std::size_t>(count > 1 ? count : 2));
    for (int64_t span = 1; span < count; span *= 2) {
        const double theta = sign * 2.0 * std::numbers::pi / static_cast<double>(2 * span);
        const double s = std::sin(0.5 * theta);
        const double wpr = -2.0 * s * s;
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int64_t m = 0; m < span; ++m) {
            w[2 * m] = wr;
            w[2 * m + 1] = wi;
            const double t = wr;
            wr += wr * wpr - wi * wpi;
            wi += wi * wpr + t * wpi;
        }
        for (int64_t block = 0; block < count; block += 2 * span) {
            double* a = data + 2 * block;
            double* b = a + 2 * span;
            for (int64_t m = 0; m < span; ++m) {
                const double tr = w[2 * m] * b[2 * m] - w[2 * m + 1] * b[2 * m + 1];
                const double ti = w[2 * m] * b[2 * m + 1] + w[2 * m + 1] * b[2 * m];
                b[2 * m] = a[2 * m] - tr;
                b[2 * m + 1] = a[2 * m + 1] - ti;
                a[2 * m] += tr;
                a[2 * m + 1] += ti;
            }
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
