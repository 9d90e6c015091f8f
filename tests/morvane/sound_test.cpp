// What the generators make, measured on their output against values worked by hand or plain
// models: wave shapes (pitch, level, duty, band limits, sweeps, FM), noise, filter gains, the
// sample modes, and in-place shaping (fades, curve envelopes, soft clipping, resolution, chaos,
// reverb).
#include "morvane_call.h"

#include <algorithm>
#include <cstring>
#include <vector>

using namespace mvtest;

namespace {

std::vector<double> Wave(int32_t shape, float hz, int32_t amp, int32_t frames = 44100) {
    MorvaneReset();
    Sample s(frames, 1);
    Call("GSample", s.h, shape, F(hz), amp);
    return Channel(Data(s), 1, 0);
}

// Frequency from the first and last upward zero crossings, placed by linear interpolation.
double ZeroCrossingFrequency(const std::vector<double>& x, size_t from, size_t to) {
    double first = -1;
    double last = -1;
    int periods = -1;
    for (size_t i = from + 1; i < to; ++i) {
        if (x[i - 1] < 0 && x[i] >= 0) {
            last = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            first = first < 0 ? last : first;
            ++periods;
        }
    }
    return periods > 0 ? periods * kRate / (last - first) : 0.0;
}

double Mean(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) {
        sum += v;
    }
    return sum / static_cast<double>(x.size());
}

} // namespace

TEST(Oscillators, SineAndSquareHaveTheirFrequencyLevelAndDuty) {
    std::vector<double> sine = Wave(FG_SIN, 261.63f, 10000);
    EXPECT_NEAR(ZeroCrossingFrequency(sine, 0, sine.size()), 261.63, 0.03);
    EXPECT_NEAR(Peak(sine), 10000, 2);
    EXPECT_EQ(sine[0], 0); // starts at phase 0
    std::vector<double> square = Wave(FG_SQUARE, 100, 8000);
    int high = 0;
    for (double v : square) {
        high += v > 0;
    }
    EXPECT_NEAR(high / static_cast<double>(square.size()), 0.5, 0.002);
    EXPECT_NEAR(square[110], 8000, 80);   // a quarter period: well inside the first half
    EXPECT_LT(Peak(square), 8000 * 1.05); // little ringing at the edges
}

TEST(Oscillators, HighNotesDoNotAliasAndShapesHoldTheirForm) {
    // At 5 kHz the 5th harmonic (25 kHz) would fold to 19.1 kHz, the 7th (35 kHz) to 9.1 kHz.
    for (int32_t shape : {FG_SQUARE, FG_SAW, FG_TRIANGL}) {
        std::vector<double> x = Wave(shape, 5000, 10000);
        double fundamental = ToneAmplitude(x, 5000);
        EXPECT_GT(fundamental, 5000) << shape;
        EXPECT_LT(ToneAmplitude(x, 19100) + ToneAmplitude(x, 9100), fundamental * 1e-3) << shape;
    }
    // 100 Hz: 441 frames per period, many harmonics, so the shapes are close to ideal: the
    // triangle peaks at a quarter period, the saw rises through it, the absolute sine has one
    // hump.
    EXPECT_NEAR(Wave(FG_TRIANGL, 100, 10000, 441)[110], 10000, 150);
    EXPECT_NEAR(Wave(FG_SAW, 100, 10000, 441)[330], -5000, 200);
    EXPECT_NEAR(Wave(FG_ABSSIN, 100, 10000, 441)[220], 10000, 100);
}

TEST(Oscillators, SweepGlidesAndOperatorMakesSidebands) {
    MorvaneReset();
    Sample sweep(44100, 1);
    Call("GSweep", sweep.h, FG_SIN, F(2000), F(100), F(0.05f), 10000);
    std::vector<double> x = Channel(Data(sweep), 1, 0);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 0, 100), 2000, 150);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 30000, 44100), 100, 0.5);
    Sample mod(44100, 1);
    Call("GSample", mod.h, FG_SIN, F(200), 32767);
    Call("Operator", sweep.h, FG_SIN, F(1000), 10000, mod.h, F(1.0f));
    std::vector<double> y = Channel(Data(sweep), 1, 0);
    // Phase modulation by index 1: sideband n has the Bessel amplitude J_n(1).
    EXPECT_NEAR(ToneAmplitude(y, 1000) / 10000, std::cyl_bessel_j(0.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(y, 800) / 10000, std::cyl_bessel_j(1.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(y, 1400) / 10000, std::cyl_bessel_j(2.0, 1.0), 0.01);
}

// White noise is uniform on -A..A (mean 0, variance A^2 / 3) and uncorrelated. The same seed
// gives the same bytes, another seed other noise.
TEST(Noise, WhiteNoiseIsUniformAndUncorrelatedAndSeedsRepeat) {
    for (const char* proc : {"NoiseSample", "WavletNoise", "WavletHQ"}) {
        std::vector<std::vector<int16_t>> made;
        for (int32_t seed : {7, 7, 8}) {
            Sample s(4410, 1);
            if (std::string(proc) == "NoiseSample") {
                Call(proc, s.h, 10000, seed);
            } else {
                Call(proc, s.h, 10000, F(100), seed);
            }
            made.push_back(Data(s));
        }
        EXPECT_EQ(made[0], made[1]) << proc;
        EXPECT_NE(made[0], made[2]) << proc;
    }
    Sample s(44100, 1);
    Call("NoiseSample", s.h, 10000, 1);
    const std::vector<double> white = Channel(Data(s), 1, 0);
    const double mean = Mean(white);
    double var = 0;
    double lag1 = 0;
    for (size_t i = 1; i < white.size(); ++i) {
        var += (white[i] - mean) * (white[i] - mean);
        lag1 += (white[i] - mean) * (white[i - 1] - mean);
    }
    EXPECT_NEAR(mean, 0, 4 * 10000 / std::sqrt(3.0 * 44100));
    EXPECT_NEAR(var / white.size(), 1e8 / 3, 1e8 / 3 * 0.02);
    EXPECT_NEAR(lag1 / var, 0, 0.02);
}

namespace {

// Gain in dB of a filter for a sine at hz, measured on the second half (after settling).
double GainDb(double hz, const char* filter, float a, float b = 0) {
    MorvaneReset();
    Sample s(44100, 1);
    Call("GSample", s.h, FG_SIN, F(static_cast<float>(hz)), 10000);
    if (std::string(filter) == "ZandR") {
        Call(filter, s.h, F(a), F(b));
    } else {
        Call(filter, s.h, F(a));
    }
    std::vector<double> x = Channel(Data(s), 1, 0);
    std::vector<double> tail(x.begin() + 22050, x.end());
    return 20 * std::log10(ToneAmplitude(tail, hz) / 10000);
}

} // namespace

// The one-pole low pass falls 6 dB an octave, the resonant one 12 dB (Q 0.5 without
// resonance: -6 dB at its cutoff).
TEST(Filters, LowPassesFallAsTheirOrderSays) {
    EXPECT_NEAR(GainDb(20, "SPLPFilter", 500), 0, 0.1);
    EXPECT_NEAR(GainDb(500, "SPLPFilter", 500), -3, 0.4);
    EXPECT_NEAR(GainDb(5000, "SPLPFilter", 500), -20, 1.5);
    EXPECT_NEAR(GainDb(1000, "ZandR", 1000), -6, 0.5);
    EXPECT_NEAR(GainDb(4000, "ZandR", 1000), -24, 2.0);
    EXPECT_GT(GainDb(1000, "ZandR", 1000, 0.8f), 6); // the resonance lifts the cutoff
}

TEST(Filters, ResonantLowPassStaysStableEverywhere) {
    for (float fc : {-5.0f, 1.0f, 22050.0f, 1e9f, NAN, INFINITY}) {
        for (float res : {-1.0f, 0.0f, 2.0f, NAN}) {
            // Noise, then silence: the ringing must die out.
            Sample s(441000, 1);
            Call("NoiseSample", s.h, 32767, 1);
            auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9;
            std::memset(data + 40000, 0, 2 * 441000 - 40000);
            Call("ZandR", s.h, F(fc), F(res));
            std::vector<double> x = Channel(Data(s), 1, 0);
            std::vector<double> end(x.end() - 1000, x.end());
            EXPECT_LT(Peak(end), 50) << fc << " " << res;
        }
    }
}

class Modes : public ::testing::Test {
  protected:
    void SetUp() override { MorvaneReset(); }
    void TearDown() override { MorvaneReset(); }
    int16_t After(int32_t stored, int32_t mode, int32_t g) {
        Sample s(3, 1);
        Call("GeneratorSampleMode", SM_NORMAL);
        Call("GConst", s.h, stored);
        Call("GeneratorSampleMode", mode);
        Call("GConst", s.h, g);
        std::vector<int16_t> d = Data(s);
        EXPECT_EQ(d[0], d[2]);
        return d[0];
    }
};

// Products are rounded to the nearest value, halves away from zero: the same size either side
// of 0. Values and modes outside their range are harmless: an unknown mode leaves the current
// one in force, and a reset returns to the normal mode.
TEST_F(Modes, CombineLikeTheTableSays) {
    const int32_t cases[][4] = {
        {1000, SM_NORMAL, -300, -300},   {0, SM_NORMAL, 100000, 32767},
        {1000, SM_ADD, -300, 700},       {30000, SM_ADD, 5000, 32767},
        {-30000, SM_ADD, -5000, -32768}, {1000, SM_SUB, -300, 1300},
        {-30000, SM_SUB, 5000, -32768},  {20000, SM_MUL, 16384, 10000},
        {-1000, SM_MUL, 32767, -1000},   {3, SM_MUL, 16384, 2},
        {-3, SM_MUL, 16384, -2},         {-1, SM_MUL, 10000, 0},
        {-32768, SM_MUL, -32768, 32767},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(After(c[0], c[1], c[2]), c[3]) << c[0] << " " << c[1] << " " << c[2];
    }
    Sample s(2, 1);
    Call("GeneratorSampleMode", SM_ADD);
    Call("GeneratorSampleMode", 7);
    Call("GConst", s.h, 5);
    Call("GConst", s.h, 5);
    EXPECT_EQ(Data(s)[1], 10);
    MorvaneReset();
    Call("GConst", s.h, 6);
    EXPECT_EQ(Data(s)[1], 6);
}

TEST_F(Modes, MixSampleFollowsTheModeAndMapsChannels) {
    Sample mono(4, 1);
    Sample stereo(2, 2);
    Call("GConst", mono.h, 1000);
    Call("MixSample", stereo.h, mono.h, 32767); // mono into both channels, shorter source
    EXPECT_EQ(Data(stereo), (std::vector<int16_t>{1000, 1000, 1000, 1000}));
    Call("GeneratorSampleMode", SM_ADD);
    Call("MixSample", mono.h, stereo.h, 16384); // stereo averaged into mono, then silence
    EXPECT_EQ(Data(mono), (std::vector<int16_t>{1500, 1500, 1000, 1000}));
}

using Shaping = Modes;

TEST_F(Shaping, FadeAndEnvelopeHitTheirPoints) {
    Sample s(101, 2);
    Call("GConst", s.h, 10000);
    Call("Fade", s.h, 32767, 0);
    std::vector<int16_t> d = Data(s);
    EXPECT_EQ(d[1], 10000);
    EXPECT_EQ(d[100], 5000); // frame 50 of 0..100
    EXPECT_EQ(d[201], 0);
    Sample e(1001, 1);
    Call("GConst", e.h, 20000);
    Call("Envelope", e.h); // without points: silence
    EXPECT_EQ(Data(e)[500], 0);
    Call("GConst", e.h, 20000);
    Call("SplCount", 4);
    Call("SplSet", 0, F(0.0f), F(0.0f));
    Call("SplSet", 1, F(0.1f), F(1.0f)); // attack
    Call("SplSet", 3, F(1.0f), F(0.0f)); // release to silence
    Call("SplSet", 2, F(0.4f), F(0.5f)); // points need not come in order
    Call("Envelope", e.h);
    d = Data(e);
    EXPECT_EQ(d[100], 20000);
    EXPECT_EQ(d[400], 10000);
    EXPECT_EQ(d[1000], 0);
    EXPECT_TRUE(std::is_sorted(d.begin() + 100, d.end(), std::greater<>())); // no overshoot
}

// Soft clipping keeps the peak and the sign and fills the wave: at an eighth of the period the
// sine was 8000 sin(pi / 4) = 5657.
TEST_F(Shaping, DistortionKeepsThePeakAndFillsTheWave) {
    Sample s(441, 1);
    Call("GSample", s.h, FG_SIN, F(100), 8000);
    Call("Distortion", s.h, F(5.0f));
    std::vector<double> x = Channel(Data(s), 1, 0);
    EXPECT_NEAR(Peak(x), 8000, 1);
    EXPECT_GT(x[55], 1.1 * 5657);
    EXPECT_LT(x[275], 0);
}

// Quant rounds to the nearest step (5 bits: steps of 2048), so that every 16-bit value once
// keeps the mean of -0.5 but for the top values that saturate at 32767.
TEST_F(Shaping, QuantRoundsToTheNearestStepWithoutOffset) {
    const int16_t in[] = {1023, 1024, -1023, -1024, 3100, -3100, 32767, -32768};
    const int16_t out[] = {0, 2048, 0, -2048, 4096, -4096, 32767, -32768};
    Sample s(8, 1);
    std::memcpy(static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9, in, sizeof in);
    Call("Quant", s.h, 5);
    EXPECT_EQ(Data(s), std::vector<int16_t>(out, out + 8));
    Sample all(65536, 1);
    auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(all)) + 9;
    for (int32_t i = 0; i < 65536; ++i) {
        const auto v = static_cast<int16_t>(i - 32768);
        std::memcpy(data + 2 * i, &v, 2);
    }
    Call("Quant", all.h, 5);
    const std::vector<int16_t> q = Data(all);
    EXPECT_NEAR(Mean(std::vector<double>(q.begin(), q.end())), -0.5 - 1024 / 65536.0, 1e-9);
}

// Centred on its mean: no offset, and the wider side reaches the amplitude.
TEST_F(Shaping, ChaosReachesItsAmplitudeWithoutOffset) {
    for (const char* proc : {"Rossler", "Lorenz"}) {
        Sample a(44100, 1);
        Call(proc, a.h, F(500), 12000);
        std::vector<double> x = Channel(Data(a), 1, 0);
        EXPECT_NEAR(Peak(x), 12000, 1) << proc;
        EXPECT_LT(std::fabs(Mean(x)), 0.5) << proc;
    }
}

TEST_F(Shaping, ReverbAddsADecayingTailWithinTheSample) {
    Sample s(44100, 2);
    Call("GSample", s.h, FG_SIN, F(440), 10000);
    Call("Fade", s.h, 32767, 0);
    auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9;
    std::memset(data + 8000, 0, 44100 * 4 - 8000); // a short burst, then silence
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.5f));
    std::vector<double> left = Channel(Data(s), 2, 0);
    const double early = Peak(std::vector<double>(left.begin() + 5000, left.begin() + 10000));
    const double late = Peak(std::vector<double>(left.begin() + 30000, left.begin() + 35000));
    EXPECT_GT(early, late); // it decays
    EXPECT_GT(late, 0);
    EXPECT_NE(left, Channel(Data(s), 2, 1)); // and spreads
    EXPECT_LT(Peak(left), 32767);
    std::vector<int16_t> before = Data(s);
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.0f)); // wet 0 leaves the sample as it was
    EXPECT_EQ(Data(s), before);
}
