// What the generators make, measured on their output against values worked by hand or plain
// models, one discriminating measure a procedure: wave shapes (pitch, level, duty, band limits,
// sweeps, FM), noise, filter gains, the sample modes, and in-place shaping (fades, curve
// envelopes, soft clipping, resolution, chaos, reverb).
#include "morvane_call.h"

#include <algorithm>
#include <cstring>
#include <numeric>
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
    return std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
}

// Gain in dB of the low pass for a sine at hz, measured on the second half (after settling):
// the one-pole filter without a resonance, the resonant one with.
double GainDb(double hz, float cutoff, float resonance = NAN) {
    MorvaneReset();
    Sample s(44100, 1);
    Call("GSample", s.h, FG_SIN, F(static_cast<float>(hz)), 10000);
    if (std::isnan(resonance)) {
        Call("SPLPFilter", s.h, F(cutoff));
    } else {
        Call("ZandR", s.h, F(cutoff), F(resonance));
    }
    std::vector<double> x = Channel(Data(s), 1, 0);
    return 20 * std::log10(ToneAmplitude({x.begin() + 22050, x.end()}, hz) / 10000);
}

} // namespace

// The sine starts at phase 0; the square is high half the time. At 5 kHz the 5th harmonic
// (25 kHz) would fold to 19.1 kHz, the 7th (35 kHz) to 9.1 kHz. At 100 Hz (441 frames a period)
// the triangle peaks at a quarter period, the saw rises through it, the absolute sine has one
// hump. The sweep glides from its start to its end frequency; phase modulation by index 1 gives
// sideband n the Bessel amplitude J_n(1).
TEST(Oscillators, PitchLevelShapeAndBandLimits) {
    std::vector<double> sine = Wave(FG_SIN, 261.63f, 10000);
    EXPECT_NEAR(ZeroCrossingFrequency(sine, 0, sine.size()), 261.63, 0.03);
    EXPECT_NEAR(Peak(sine), 10000, 2);
    EXPECT_EQ(sine[0], 0);
    std::vector<double> square = Wave(FG_SQUARE, 100, 8000);
    EXPECT_NEAR(std::count_if(square.begin(), square.end(), [](double v) { return v > 0; }), 22050,
                90);
    EXPECT_NEAR(square[110], 8000, 80);
    EXPECT_LT(Peak(square), 8000 * 1.05);
    for (int32_t shape : {FG_SQUARE, FG_SAW, FG_TRIANGL}) {
        std::vector<double> x = Wave(shape, 5000, 10000);
        double fundamental = ToneAmplitude(x, 5000);
        EXPECT_GT(fundamental, 5000) << shape;
        EXPECT_LT(ToneAmplitude(x, 19100) + ToneAmplitude(x, 9100), fundamental * 1e-3) << shape;
    }
    EXPECT_NEAR(Wave(FG_TRIANGL, 100, 10000, 441)[110], 10000, 150);
    EXPECT_NEAR(Wave(FG_SAW, 100, 10000, 441)[330], -5000, 200);
    EXPECT_NEAR(Wave(FG_ABSSIN, 100, 10000, 441)[220], 10000, 100);
    Sample s(44100, 1);
    Call("GSweep", s.h, FG_SIN, F(2000), F(100), F(0.05f), 10000);
    std::vector<double> x = Channel(Data(s), 1, 0);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 0, 100), 2000, 150);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 30000, 44100), 100, 0.5);
    Sample mod(44100, 1);
    Call("GSample", mod.h, FG_SIN, F(200), 32767);
    Call("Operator", s.h, FG_SIN, F(1000), 10000, mod.h, F(1.0f));
    x = Channel(Data(s), 1, 0);
    EXPECT_NEAR(ToneAmplitude(x, 1000) / 10000, std::cyl_bessel_j(0.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(x, 1400) / 10000, std::cyl_bessel_j(2.0, 1.0), 0.01);
}

// Uniform on -A..A: mean 0 (standard error A / sqrt(3 n)), variance A^2 / 3; uncorrelated.
TEST(Noise, WhiteNoiseIsUniformAndUncorrelated) {
    Sample s(44100, 1);
    Call("NoiseSample", s.h, 10000, 1);
    const std::vector<double> x = Channel(Data(s), 1, 0);
    const double mean = Mean(x);
    double var = 0;
    double lag1 = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        var += (x[i] - mean) * (x[i] - mean);
        lag1 += (x[i] - mean) * (x[i - 1] - mean);
    }
    EXPECT_NEAR(mean, 0, 4 * 10000 / std::sqrt(3.0 * 44100));
    EXPECT_NEAR(var / x.size(), 1e8 / 3, 1e8 / 3 * 0.02);
    EXPECT_NEAR(lag1 / var, 0, 0.02);
}

// The one-pole low pass falls 6 dB an octave, the resonant one 12 dB (Q 0.5 without
// resonance: -6 dB at its cutoff). Noise and then silence through the resonant one at its
// sharpest: the ringing dies out.
TEST(Filters, LowPassesFallAsTheirOrderSaysAndStayStable) {
    EXPECT_NEAR(GainDb(500, 500), -3, 0.4);
    EXPECT_NEAR(GainDb(5000, 500), -20, 1.5);
    EXPECT_NEAR(GainDb(1000, 1000, 0), -6, 0.5);
    EXPECT_NEAR(GainDb(4000, 1000, 0), -24, 2.0);
    EXPECT_GT(GainDb(1000, 1000, 0.8f), 6); // the resonance lifts the cutoff
    Sample s(441000, 1);
    Call("NoiseSample", s.h, 32767, 1);
    std::memset(static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9 + 40000, 0, 842000);
    Call("ZandR", s.h, F(1e9f), F(2.0f)); // past the highest cutoff and resonance
    std::vector<double> x = Channel(Data(s), 1, 0);
    EXPECT_LT(Peak({x.end() - 1000, x.end()}), 50);
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

// Mono goes into both channels; stereo is averaged into mono; a shorter source leaves the rest.
TEST_F(Modes, MixSampleFollowsTheModeAndMapsChannels) {
    Sample mono(4, 1);
    Sample stereo(2, 2);
    Call("GConst", mono.h, 1000);
    Call("MixSample", stereo.h, mono.h, 32767);
    EXPECT_EQ(Data(stereo), (std::vector<int16_t>{1000, 1000, 1000, 1000}));
    Call("GeneratorSampleMode", SM_ADD);
    Call("MixSample", mono.h, stereo.h, 16384);
    EXPECT_EQ(Data(mono), (std::vector<int16_t>{1500, 1500, 1000, 1000}));
}

using Shaping = Modes;

// The fade runs straight between its end points; the envelope follows the curve through its
// points (in any order) without overshoot, and silences without points.
TEST_F(Shaping, FadeAndEnvelopeHitTheirPoints) {
    Sample s(101, 2);
    Call("GConst", s.h, 10000);
    Call("Fade", s.h, 32767, 0);
    EXPECT_EQ(Data(s)[101], 5000); // frame 50 of 0..100, second channel
    Sample e(1001, 1);
    Call("GConst", e.h, 20000);
    Call("Envelope", e.h);
    EXPECT_EQ(Data(e)[500], 0);
    Call("GConst", e.h, 20000);
    Call("SplCount", 4);
    Call("SplSet", 0, F(0.0f), F(0.0f));
    Call("SplSet", 1, F(0.1f), F(1.0f));
    Call("SplSet", 3, F(1.0f), F(0.0f));
    Call("SplSet", 2, F(0.4f), F(0.5f));
    Call("Envelope", e.h);
    const std::vector<int16_t> d = Data(e);
    EXPECT_EQ(d[100], 20000);
    EXPECT_EQ(d[400], 10000);
    EXPECT_EQ(d[1000], 0);
    EXPECT_TRUE(std::is_sorted(d.begin() + 100, d.end(), std::greater<>()));
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
    Sample s(65536, 1);
    auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9;
    for (int32_t i = 0; i < 65536; ++i) {
        const auto v = static_cast<int16_t>(i - 32768);
        std::memcpy(data + 2 * i, &v, 2);
    }
    Call("Quant", s.h, 5);
    const std::vector<int16_t> q = Data(s);
    // Values -32768, -1024, -1023, 1023, 1024, 3100 and 32767 become:
    const int16_t expected[] = {-32768, -2048, 0, 0, 2048, 4096, 32767};
    const int32_t at[] = {0, 31744, 31745, 33791, 33792, 35868, 65535};
    for (int k = 0; k < 7; ++k) {
        EXPECT_EQ(q[at[k]], expected[k]) << at[k] - 32768;
    }
    EXPECT_NEAR(Mean(std::vector<double>(q.begin(), q.end())), -0.5 - 1024 / 65536.0, 1e-9);
}

// Chaos is centred on its mean: no offset, and the wider side reaches the amplitude.
TEST_F(Shaping, ChaosReachesItsAmplitudeWithoutOffset) {
    for (const char* proc : {"Rossler", "Lorenz"}) {
        Sample a(44100, 1);
        Call(proc, a.h, F(500), 12000);
        std::vector<double> x = Channel(Data(a), 1, 0);
        EXPECT_NEAR(Peak(x), 12000, 1) << proc;
        EXPECT_LT(std::fabs(Mean(x)), 0.5) << proc;
    }
}

// A short burst, then silence: the reverb's tail decays, differs between the channels and stays
// within the sample; wet 0 leaves the sample as it was.
TEST_F(Shaping, ReverbAddsADecayingTailWithinTheSample) {
    Sample s(44100, 2);
    Call("GSample", s.h, FG_SIN, F(440), 10000);
    std::memset(static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9 + 8000, 0, 44100 * 4 - 8000);
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.5f));
    std::vector<double> left = Channel(Data(s), 2, 0);
    const double late = Peak({left.begin() + 30000, left.begin() + 35000});
    EXPECT_GT(Peak({left.begin() + 5000, left.begin() + 10000}), late);
    EXPECT_GT(late, 0);
    EXPECT_NE(left, Channel(Data(s), 2, 1));
    std::vector<int16_t> before = Data(s);
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.0f));
    EXPECT_EQ(Data(s), before);
}
