#include "script/fft.h"
#include "script/resample.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

using namespace kellix;

namespace {

using Complex = std::complex<long double>;

// A direct transform: out[b] = sum over m of z[m] * e^(sign * 2 pi i b m / h).
std::vector<Complex> Dft(const std::vector<Complex>& z, long double sign) {
    const std::size_t h = z.size();
    const long double turn =
        sign * 2 * std::numbers::pi_v<long double> / static_cast<long double>(h);
    std::vector<Complex> out(h);
    for (std::size_t b = 0; b < h; ++b) {
        for (std::size_t m = 0; m < h; ++m) {
            out[b] += z[m] * std::polar(1.0L, turn * static_cast<long double>(b * m));
        }
    }
    return out;
}

// Frequency doubling computed the slow way: the frames as h complex pairs (h a power of two),
// the direct transform, Z'[(2k) mod h] = Z[k mod h] for -h/4 <= k < h/4 when h >= 4, and back.
std::vector<long double> ModelResample(const std::vector<int16_t>& v) {
    std::size_t h = 1;
    while (2 * h < v.size()) {
        h *= 2;
    }
    std::vector<Complex> z(h);
    for (std::size_t m = 0; m < v.size(); ++m) {
        z[m / 2] += m % 2 ? Complex(0, v[m]) : Complex(v[m], 0);
    }
    const std::vector<Complex> spectrum = Dft(z, 1);
    std::vector<Complex> doubled = h < 4 ? spectrum : std::vector<Complex>(h);
    const long q = static_cast<long>(h / 4), hl = static_cast<long>(h);
    for (long k = -q; k < q; ++k) {
        doubled[static_cast<std::size_t>((2 * k + hl) % hl)] =
            spectrum[static_cast<std::size_t>((k + hl) % hl)];
    }
    const std::vector<Complex> back = Dft(doubled, -1);
    std::vector<long double> out;
    for (std::size_t m = 0; m < v.size(); ++m) {
        const Complex c = back[m / 2] / static_cast<long double>(h);
        out.push_back(m % 2 ? c.imag() : c.real());
    }
    return out;
}

// The values after resampling a block of them followed by a stray byte, which must stay.
std::vector<int16_t> Resampled(uint8_t format, std::vector<int16_t> v) {
    std::vector<uint8_t> bytes(9 + 2 * v.size() + 1, 0xA5);
    auto* block = reinterpret_cast<SampleBlock*>(bytes.data());
    block->Format = format;
    block->DataSize = static_cast<int32_t>(2 * v.size() + 1);
    std::memcpy(SampleData(block), v.data(), 2 * v.size());
    ResampleBlock(block);
    std::memcpy(v.data(), SampleData(block), 2 * v.size());
    EXPECT_EQ(bytes.back(), 0xA5);
    return v;
}

std::vector<int16_t> Pseudorandom(std::size_t count, uint32_t seed) {
    std::mt19937 g(seed);
    std::vector<int16_t> v(count);
    std::generate(v.begin(), v.end(), [&g] { return static_cast<int16_t>(g() % 32768 - 16384); });
    return v;
}

// Truncation makes a value that lies on an integer sensitive to rounding noise: there the
// result may be one below or above.
void ExpectMatchesModel(int16_t got, long double model) {
    const bool onInteger = std::fabs(model - std::round(model)) < 1e-6L;
    EXPECT_NEAR(got, static_cast<double>(std::clamp(std::trunc(model), -32768.0L, 32767.0L)),
                onInteger ? 1.0 : 0.0)
        << "model " << static_cast<double>(model);
}

TEST(Fft, MatchesADirectTransformBothWays) {
    const std::vector<int16_t> r = Pseudorandom(32, 7);
    std::vector<double> data(r.begin(), r.end());
    std::vector<Complex> z(16);
    for (std::size_t m = 0; m < 16; ++m) {
        z[m] = Complex(r[2 * m], r[2 * m + 1]);
    }
    const std::vector<Complex> expected = Dft(z, 1);
    FFT(data.data(), 16, false);
    for (std::size_t b = 0; b < 16; ++b) {
        EXPECT_LT(std::abs(Complex(data[2 * b], data[2 * b + 1]) - expected[b]), 1e-6) << b;
    }
    FFT(data.data(), 16, true);
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_NEAR(data[i], r[i], 1e-8);
    }
}

// Blocks of 1 to 4 frames come back as they were; the second channel stays untouched.
TEST(Resample, MonoAndStereoMatchTheDirectTransform) {
    for (uint8_t format : {kSampleMono, kSampleStereo}) {
        for (std::size_t frames : {1u, 4u, 5u, 8u, 9u, 33u}) {
            SCOPED_TRACE(frames * format);
            const std::vector<int16_t> v = Pseudorandom(frames * format, frames);
            std::vector<int16_t> first;
            for (std::size_t k = 0; k < v.size(); k += format) {
                first.push_back(v[k]);
            }
            const std::vector<long double> model = ModelResample(first);
            const std::vector<int16_t> got = Resampled(format, v);
            for (std::size_t k = 0; k < v.size(); ++k) {
                if (k % format == 0) {
                    ExpectMatchesModel(got[k], model[k / format]);
                } else {
                    EXPECT_EQ(got[k], v[k]);
                }
            }
        }
    }
}

// The doubled square wave overshoots to about +-36213 at frames 2 and 6; nothing to work on is
// left alone.
TEST(Resample, ValuesBeyondFullScaleSaturateAndNothingToDo) {
    std::vector<int16_t> v(16, 30000);
    std::fill(v.begin() + 8, v.end(), static_cast<int16_t>(-30000));
    const std::vector<int16_t> got = Resampled(kSampleMono, v);
    EXPECT_EQ(got[2], 32767);
    EXPECT_EQ(got[6], -32768);
    ResampleBlock(nullptr);
    uint8_t oneByte[10] = {0, 0, 0, 0, kSampleMono, 1, 0, 0, 0, 0xA5};
    ResampleBlock(reinterpret_cast<SampleBlock*>(oneByte));
    EXPECT_EQ(oneByte[9], 0xA5);
}

} // namespace
