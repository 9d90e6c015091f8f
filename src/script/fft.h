#pragma once

#include <cstdint>

namespace kellix {

// In-place radix-2 transform of count complex values stored as (real, imaginary) pairs; count
// must be a power of two. The forward transform uses the exponent sign +, the inverse the sign
// - and divides every value by count.
void FFT(double* data, int64_t count, bool inverse);

} // namespace kellix
