#include "script/fft.h"
#include "script/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <vector>

using namespace kellix;

namespace {

using Complex = std::complex<long double>;

// Frequency doubling computed the slow way: direct DFTs in long double.
std::vector<long double> ModelResample(const std::vector<int16_t>& v) {
    const std::size_t f = v.size();
    std::size_t n = 1;
    while (n < f) {
        n *= 2;
    }
    const std::size_t h = n / 2;
    if (h == 0) {
        return {static_cast<long double>(v[0])};
    }
    const long double pi = std::numbers::pi_v<long double>;
    std::vector<Complex> z(h);
    for (std::size_t m = 0; m < h; ++m) {
        long double re = 2 * m < f ? v[2 * m] / 32768.0L : 0;
        long double im = 2 * m + 1 < f ? v[2 * m + 1] / 32768.0L : 0;
        z[m] = Complex(re, im);
    }
    std::vector<Complex> spectrum(h);
    for (std::size_t b = 0; b < h; ++b) {
        for (std::size_t m = 0; m < h; ++m) {
            spectrum[b] += z[m] * std::polar(1.0L, 2 * pi * static_cast<long double>(b * m) / h);
        }
    }
    std::vector<Complex> doubled = spectrum;
    if (n >= 8) {
        doubled.assign(h, Complex{});
        for (long k = -static_cast<long>(h / 4); k < static_cast<long>(h / 4); ++k) {
            long to = (2 * k % static_cast<long>(h) + static_cast<long>(h)) % static_cast<long>(h);
            long from = (k + static_cast<long>(h)) % static_cast<long>(h);
            doubled[static_cast<std::size_t>(to)] = spectrum[static_cast<std::size_t>(from)];
        }
    }
    std::vector<long double> out;
    for (std::size_t m = 0; m < h; ++m) {
        Complex sum;
        for (std::size_t b = 0; b < h; ++b) {
            sum += doubled[b] * std::polar(1.0L, -2 * pi * static_cast<long double>(b * m) / h);
        }
        sum /= static_cast<long double>(h);
        out.push_back(sum.real() * 32768);
        out.push_back(sum.imag() * 32768);
    }
    out.resize(f);
    return out;
}

struct Block {
    std::vector<uint8_t> bytes;
    SampleBlock* get() { return reinterpret_cast<SampleBlock*>(bytes.data()); }
};

Block MakeBlock(uint8_t format, const std::vector<int16_t>& values, int32_t extraBytes = 0) {
    Block b;
    int32_t size = static_cast<int32_t>(values.size()) * 2 + extraBytes;
    b.bytes.assign(9 + static_cast<std::size_t>(size), 0xA5);
    b.get()->Format = format;
    b.get()->DataSize = size;
    for (std::size_t i = 0; i < values.size(); ++i) {
        StoreS16(SampleData(b.get()) + 2 * i, values[i]);
    }
    return b;
}

int16_t At(Block& b, std::size_t index) {
    return LoadS16(SampleData(b.get()) + 2 * index);
}

std::vector<int16_t> Pseudorandom(std::size_t count, uint32_t seed) {
    std::vector<int16_t> v(count);
    for (auto& x : v) {
        seed = seed * 1664525u + 1013904223u;
        x = static_cast<int16_t>((seed >> 16) & 0xFFFF) / 2;
    }
    return v;
}

// Truncation makes a value that lies on an integer sensitive to rounding noise: there the
// result may be one below or above.
void ExpectMatchesModel(int16_t got, long double model) {
    long double clamped = std::clamp(std::trunc(model), -32768.0L, 32767.0L);
    bool onInteger = std::fabs(model - std::round(model)) < 1e-6L;
    if (onInteger) {
        EXPECT_NEAR(got, clamped, 1.0) << "model " << static_cast<double>(model);
    } else {
        EXPECT_EQ(got, static_cast<int16_t>(clamped)) << "model " << static_cast<double>(model);
    }
}

TEST(Fft, MatchesADirectTransformBothWays) {
    const int64_t count = 16;
    std::vector<double> data(2 * count);
    std::vector<int16_t> r = Pseudorandom(2 * count, 7);
    for (int64_t i = 0; i < 2 * count; ++i) {
        data[i] = r[i] / 1000.0;
    }
    std::vector<double> original = data;
    FFT(data.data(), count, false);
    const long double pi = std::numbers::pi_v<long double>;
    for (int64_t b = 0; b < count; ++b) {
        Complex sum;
        for (int64_t m = 0; m < count; ++m) {
            sum += Complex(original[2 * m], original[2 * m + 1]) *
                   std::polar(1.0L, 2 * pi * static_cast<long double>(b * m) / count);
        }
        EXPECT_NEAR(data[2 * b], static_cast<double>(sum.real()), 1e-9);
        EXPECT_NEAR(data[2 * b + 1], static_cast<double>(sum.imag()), 1e-9);
    }
    FFT(data.data(), count, true);
    for (int64_t i = 0; i < 2 * count; ++i) {
        EXPECT_NEAR(data[i], original[i], 1e-12);
    }
}

TEST(Resample, FiveFramesKeepBinsZeroAndThree) {
    // x = (0.5, 0, 0, 0, 0 | 0, 0, 0): every bin of Z is 0.5; bins 0 and 3 move to 0 and 2, so
    // z' = (0.25, 0, 0.25, 0): frames 0 and 4 become 8192, the others 0.
    Block b = MakeBlock(kSampleMono, {16384, 0, 0, 0, 0});
    ResampleBlock(b.get());
    const int16_t expected[5] = {8192, 0, 0, 0, 8192};
    for (int k = 0; k < 5; ++k) {
        EXPECT_NEAR(At(b, k), expected[k], 1) << k;
    }
}

TEST(Resample, FewerThanFiveFramesPassThrough) {
    for (std::vector<int16_t> v :
         {std::vector<int16_t>{-7}, {100, -200}, {1, 2, 3}, {100, -200, 32767, -32768}}) {
        Block b = MakeBlock(kSampleMono, v);
        ResampleBlock(b.get());
        for (std::size_t k = 0; k < v.size(); ++k) {
            EXPECT_EQ(At(b, k), v[k]);
        }
    }
}

TEST(Resample, MonoBlocksMatchTheDirectTransform) {
    for (std::size_t frames : {5u, 7u, 8u, 9u, 16u, 33u, 100u}) {
        SCOPED_TRACE(frames);
        std::vector<int16_t> v = Pseudorandom(frames, static_cast<uint32_t>(frames));
        std::vector<long double> model = ModelResample(v);
        Block b = MakeBlock(kSampleMono, v);
        ResampleBlock(b.get());
        EXPECT_EQ(int32_t{b.get()->DataSize}, static_cast<int32_t>(2 * frames));
        for (std::size_t k = 0; k < frames; ++k) {
            ExpectMatchesModel(At(b, k), model[k]);
        }
    }
}

TEST(Resample, StereoRewritesOnlyTheFirstChannel) {
    std::vector<int16_t> interleaved = Pseudorandom(2 * 13, 99);
    std::vector<int16_t> first;
    for (std::size_t k = 0; k < 13; ++k) {
        first.push_back(interleaved[2 * k]);
    }
    std::vector<long double> model = ModelResample(first);
    // Two stray bytes after the last whole frame stay untouched as well.
    Block b = MakeBlock(kSampleStereo, interleaved, 2);
    ResampleBlock(b.get());
    EXPECT_EQ(int32_t{b.get()->DataSize}, 2 * 26 + 2);
    for (std::size_t k = 0; k < 13; ++k) {
        ExpectMatchesModel(At(b, 2 * k), model[k]);
        EXPECT_EQ(At(b, 2 * k + 1), interleaved[2 * k + 1]);
    }
    EXPECT_EQ(b.bytes[9 + 52], 0xA5);
    EXPECT_EQ(b.bytes[9 + 53], 0xA5);
}

TEST(Resample, ValuesBeyondFullScaleSaturate) {
    // The doubled square wave overshoots to about +-36213 at frames 2, 3 and 6, 7.
    std::vector<int16_t> v(16, 30000);
    std::fill(v.begin() + 8, v.end(), static_cast<int16_t>(-30000));
    std::vector<long double> model = ModelResample(v);
    ASSERT_GT(model[2], 32768);
    ASSERT_LT(model[6], -32769);
    Block b = MakeBlock(kSampleMono, v);
    ResampleBlock(b.get());
    EXPECT_EQ(At(b, 2), 32767);
    EXPECT_EQ(At(b, 3), 32767);
    EXPECT_EQ(At(b, 6), -32768);
    EXPECT_EQ(At(b, 7), -32768);
    ExpectMatchesModel(At(b, 0), model[0]);
}

TEST(Resample, NothingToDo) {
    ResampleBlock(nullptr);
    Block empty = MakeBlock(kSampleMono, {});
    ResampleBlock(empty.get());
    Block odd = MakeBlock(kSampleMono, {}, 1);
    ResampleBlock(odd.get());
    EXPECT_EQ(odd.bytes[9], 0xA5);
    Block negative = MakeBlock(kSampleMono, {5});
    negative.get()->DataSize = -4;
    ResampleBlock(negative.get());
    EXPECT_EQ(At(negative, 0), 5);
}

} // namespace
