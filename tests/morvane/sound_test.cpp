// What the generators make, measured on their output against values worked by hand or plain
// models: wave shapes (pitch, level, duty, band limits, sweeps, FM), noise statistics, filter
// gains, the sample modes, and in-place shaping (fades, curve envelopes, soft clipping,
// resolution, chaos, reverb).
#include "morvane_call.h"

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
            double t = static_cast<double>(i - 1) + (-x[i - 1]) / (x[i] - x[i - 1]);
            first = first < 0 ? t : first;
            last = t;
            ++periods;
        }
    }
    return periods > 0 ? periods * kRate / (last - first) : 0.0;
}

} // namespace

TEST(Oscillators, SineHasItsFrequencyAndAmplitude) {
    for (float hz : {261.63f, 1000.0f, 7040.0f}) {
        std::vector<double> x = Wave(FG_SIN, hz, 10000);
        EXPECT_NEAR(ZeroCrossingFrequency(x, 0, x.size()), hz, hz * 1e-4) << hz;
        EXPECT_NEAR(Peak(x), 10000, 2);
    }
    EXPECT_EQ(Wave(FG_SIN, 440, 10000)[0], 0); // starts at phase 0
}

TEST(Oscillators, SquareHasItsLevelAndHalfDuty) {
    std::vector<double> x = Wave(FG_SQUARE, 100, 8000);
    int high = 0;
    double plateau = 0;
    int plateauCount = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        high += x[i] > 0;
        double inPeriod = std::fmod(static_cast<double>(i), 441.0);
        if (inPeriod > 50 && inPeriod < 170) { // well inside the first half
            plateau += x[i];
            ++plateauCount;
        }
    }
    EXPECT_NEAR(high / static_cast<double>(x.size()), 0.5, 0.002);
    EXPECT_NEAR(plateau / plateauCount, 8000, 80);
    EXPECT_LT(Peak(x), 8000 * 1.05); // little ringing at the edges
}

TEST(Oscillators, HighNotesDoNotAlias) {
    // At 5 kHz the 5th harmonic (25 kHz) would fold to 19.1 kHz, the 7th (35 kHz) to 9.1 kHz.
    for (int32_t shape : {FG_SQUARE, FG_SAW, FG_TRIANGL}) {
        std::vector<double> x = Wave(shape, 5000, 10000);
        double fundamental = ToneAmplitude(x, 5000);
        EXPECT_GT(fundamental, 5000) << shape;
        EXPECT_LT(ToneAmplitude(x, 19100), fundamental * 1e-3) << shape;
        EXPECT_LT(ToneAmplitude(x, 9100), fundamental * 1e-3) << shape;
    }
    // Harmonics below the limit stay: a 2 kHz saw keeps its 10 kHz (ideally a fifth).
    std::vector<double> saw = Wave(FG_SAW, 2000, 10000);
    EXPECT_GT(ToneAmplitude(saw, 4000) / ToneAmplitude(saw, 2000), 0.4);
    EXPECT_GT(ToneAmplitude(saw, 10000) / ToneAmplitude(saw, 2000), 0.1);
}

TEST(Oscillators, TriangleSawAndAbsSineHaveTheirShapes) {
    // 100 Hz: 441 frames per period, many harmonics, so the shapes are close to ideal.
    std::vector<double> tri = Wave(FG_TRIANGL, 100, 10000, 441);
    EXPECT_NEAR(tri[110], 10000, 150); // peak at a quarter period
    EXPECT_NEAR(tri[220], 0, 150);
    EXPECT_NEAR(tri[331], -10000, 150);
    std::vector<double> saw = Wave(FG_SAW, 100, 10000, 441);
    EXPECT_NEAR(saw[110], 5000, 200); // rises through the period
    EXPECT_NEAR(saw[330], -5000, 200);
    std::vector<double> abs = Wave(FG_ABSSIN, 100, 10000, 441);
    EXPECT_NEAR(abs[220], 10000, 100); // one hump per period, never much below zero
    EXPECT_GT(*std::min_element(abs.begin(), abs.end()), -150);
}

TEST(Oscillators, SplineWaveFollowsTheCurve) {
    MorvaneReset();
    Call("SplCount", 3);
    Call("SplSet", 0, F(0.0f), F(-0.5f));
    Call("SplSet", 1, F(0.5f), F(0.5f));
    Call("SplSet", 2, F(1.0f), F(-0.5f));
    Sample s(441, 1);
    Call("GSample", s.h, FG_SPLINE, F(100), 20000);
    std::vector<int16_t> d = Data(s);
    EXPECT_NEAR(d[220], 10000, 200);
    EXPECT_NEAR(d[0], -10000, 200);
    MorvaneReset();
}

TEST(Oscillators, SweepGlidesFromStartToEnd) {
    MorvaneReset();
    Sample s(44100, 1);
    Call("GSweep", s.h, FG_SIN, F(2000), F(100), F(0.05f), 10000);
    std::vector<double> x = Channel(Data(s), 1, 0);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 0, 100), 2000, 150);
    EXPECT_NEAR(ZeroCrossingFrequency(x, 30000, 44100), 100, 0.5);
}

TEST(Oscillators, OperatorMakesSidebands) {
    MorvaneReset();
    Sample mod(44100, 1);
    Sample car(44100, 1);
    Call("GSample", mod.h, FG_SIN, F(200), 32767);
    Call("Operator", car.h, FG_SIN, F(1000), 10000, mod.h, F(1.0f));
    std::vector<double> x = Channel(Data(car), 1, 0);
    // Phase modulation by index 1: sideband n has the Bessel amplitude J_n(1).
    EXPECT_NEAR(ToneAmplitude(x, 1000) / 10000, std::cyl_bessel_j(0.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(x, 1200) / 10000, std::cyl_bessel_j(1.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(x, 800) / 10000, std::cyl_bessel_j(1.0, 1.0), 0.01);
    EXPECT_NEAR(ToneAmplitude(x, 1400) / 10000, std::cyl_bessel_j(2.0, 1.0), 0.01);
    // Without a modulator it is the plain wave.
    Sample plain(1000, 1);
    Sample reference(1000, 1);
    Call("Operator", plain.h, FG_SAW, F(300), 9000, 0, F(5.0f));
    Call("GSample", reference.h, FG_SAW, F(300), 9000);
    EXPECT_EQ(Data(plain), Data(reference));
}

namespace {

std::vector<double> Noise(const char* proc, int32_t seed, float hz = 0) {
    MorvaneReset();
    Sample s(44100, 1);
    if (hz > 0) {
        Call(proc, s.h, 10000, F(hz), seed);
    } else {
        Call(proc, s.h, 10000, seed);
    }
    return Channel(Data(s), 1, 0);
}

double Mean(const std::vector<double>& x) {
    double sum = 0;
    for (double v : x) {
        sum += v;
    }
    return sum / static_cast<double>(x.size());
}

// Largest step between neighbouring frames.
double MaxStep(const std::vector<double>& x) {
    double m = 0;
    for (size_t i = 1; i < x.size(); ++i) {
        m = std::fmax(m, std::fabs(x[i] - x[i - 1]));
    }
    return m;
}

} // namespace

TEST(Noise, WhiteNoiseIsUniformAndUncorrelated) {
    std::vector<double> x = Noise("NoiseSample", 1);
    double mean = Mean(x);
    double var = 0;
    double lag1 = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        var += (x[i] - mean) * (x[i] - mean);
        if (i > 0) {
            lag1 += (x[i] - mean) * (x[i - 1] - mean);
        }
    }
    // Uniform on -A..A: mean 0, variance A^2 / 3; standard error of the mean A / sqrt(3 n).
    EXPECT_NEAR(mean, 0, 4 * 10000 / std::sqrt(3.0 * 44100));
    EXPECT_NEAR(var / x.size(), 1e8 / 3, 1e8 / 3 * 0.02);
    EXPECT_NEAR(lag1 / var, 0, 0.02);
    EXPECT_LE(Peak(x), 10000);
    EXPECT_GT(Peak(x), 9990);
}

TEST(Noise, SameSeedSameBytesOtherSeedOtherNoise) {
    for (const char* proc : {"NoiseSample", "WavletNoise", "WavletHQ"}) {
        float hz = std::string(proc) == "NoiseSample" ? 0.0f : 500.0f;
        std::vector<double> a = Noise(proc, 7, hz);
        EXPECT_EQ(a, Noise(proc, 7, hz)) << proc;
        EXPECT_NE(a, Noise(proc, 8, hz)) << proc;
    }
}

TEST(Noise, WavletNoiseIsSmoothAndHqSmoother) {
    // 100 values a second: at most a few times the straight-line step between values.
    std::vector<double> smooth = Noise("WavletNoise", 3, 100);
    std::vector<double> hq = Noise("WavletHQ", 3, 100);
    double linearStep = 2 * 10000 / 441.0;
    EXPECT_LT(MaxStep(smooth), 1.6 * linearStep);
    EXPECT_LT(MaxStep(hq), 1.6 * linearStep);
    EXPECT_LE(Peak(smooth), 10000);
    EXPECT_GT(Peak(smooth), 9000);
    // Curvature: the second difference of the B-spline joins stays far smaller at the knots.
    auto maxCurve = [](const std::vector<double>& x) {
        double m = 0;
        for (size_t i = 2; i < x.size(); ++i) {
            m = std::fmax(m, std::fabs(x[i] - 2 * x[i - 1] + x[i - 2]));
        }
        return m;
    };
    std::vector<double> fastSmooth = Noise("WavletNoise", 3, 2000);
    std::vector<double> fastHq = Noise("WavletHQ", 3, 2000);
    EXPECT_LT(maxCurve(fastHq), 0.5 * maxCurve(fastSmooth));
    // Most of its energy lies below the value rate.
    EXPECT_GT(ToneAmplitude(smooth, 20) + ToneAmplitude(smooth, 40),
              10 * (ToneAmplitude(smooth, 2000) + ToneAmplitude(smooth, 4000)));
}

namespace {

// Gain in dB of a filter for a sine at hz, measured on the second half (after settling).
template <class Run> double GainDb(double hz, Run run) {
    MorvaneReset();
    Sample s(44100, 1);
    Call("GSample", s.h, FG_SIN, F(static_cast<float>(hz)), 10000);
    run(s.h);
    std::vector<double> x = Channel(Data(s), 1, 0);
    std::vector<double> tail(x.begin() + 22050, x.end());
    return 20 * std::log10(ToneAmplitude(tail, hz) / 10000);
}

} // namespace

TEST(Filters, OnePoleLowPassFallsSixDbPerOctave) {
    auto lp = [](int32_t s) { Call("SPLPFilter", s, F(500)); };
    EXPECT_NEAR(GainDb(20, lp), 0, 0.1);
    EXPECT_NEAR(GainDb(500, lp), -3, 0.4);
    EXPECT_NEAR(GainDb(5000, lp), -20, 1.5);
}

TEST(Filters, ResonantLowPassFallsTwelveDbPerOctave) {
    auto flat = [](int32_t s) { Call("ZandR", s, F(1000), F(0.0f)); };
    EXPECT_NEAR(GainDb(50, flat), 0, 0.1);
    EXPECT_NEAR(GainDb(1000, flat), -6, 0.5); // Q 0.5 at its cutoff
    EXPECT_NEAR(GainDb(4000, flat), -24, 2.0);
    auto resonant = [](int32_t s) { Call("ZandR", s, F(1000), F(0.8f)); };
    EXPECT_GT(GainDb(1000, resonant), 6); // the resonance lifts the cutoff
    EXPECT_LT(GainDb(4000, resonant), -20);
}

TEST(Filters, ResonantLowPassStaysStableEverywhere) {
    const float cutoffs[] = {-5, 0, 1, 20000, 22050, 1e9f, NAN, INFINITY};
    const float resonances[] = {-1, 0, 1, 2, NAN};
    for (float fc : cutoffs) {
        for (float res : resonances) {
            Sample s(20000, 2);
            Call("NoiseSample", s.h, 32767, 1);
            Call("ZandR", s.h, F(fc), F(res));
            std::vector<int16_t> d = Data(s);
            // Feed silence after the noise: the ringing must die out.
            Sample quiet(441000, 1);
            Call("GConst", quiet.h, 0);
            Call("MixSample", quiet.h, s.h, 32767);
            Call("ZandR", quiet.h, F(fc), F(res));
            std::vector<double> x = Channel(Data(quiet), 1, 0);
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

TEST_F(Modes, CombineLikeTheTableSays) {
    EXPECT_EQ(After(1000, SM_NORMAL, -300), -300);
    EXPECT_EQ(After(1000, SM_ADD, -300), 700);
    EXPECT_EQ(After(30000, SM_ADD, 5000), 32767);
    EXPECT_EQ(After(-30000, SM_ADD, -5000), -32768);
    EXPECT_EQ(After(1000, SM_SUB, -300), 1300);
    EXPECT_EQ(After(-30000, SM_SUB, 5000), -32768);
    EXPECT_EQ(After(20000, SM_MUL, 16384), 10000); // 20000 * 16384 / 32768
    EXPECT_EQ(After(-1000, SM_MUL, 32767), -1000); // nearest to -999.97
    // Rounded to the nearest value, halves away from zero: the same size either side of 0.
    EXPECT_EQ(After(3, SM_MUL, 16384), 2);   // 1.5
    EXPECT_EQ(After(-3, SM_MUL, 16384), -2); // -1.5
    EXPECT_EQ(After(-1, SM_MUL, 10000), 0);  // -0.31
    EXPECT_EQ(After(1, SM_MUL, 10000), 0);
    EXPECT_EQ(After(-32768, SM_MUL, -32768), 32767); // 32768 saturates
    EXPECT_EQ(After(1000, SM_MUL, 0), 0);
}

TEST_F(Modes, ValuesAndModesOutsideTheirRangeAreHarmless) {
    EXPECT_EQ(After(0, SM_NORMAL, 100000), 32767);
    EXPECT_EQ(After(0, SM_NORMAL, -100000), -32768);
    // An unknown mode leaves the current one in force.
    Sample s(2, 1);
    Call("GeneratorSampleMode", SM_ADD);
    Call("GeneratorSampleMode", 7);
    Call("GConst", s.h, 5);
    Call("GConst", s.h, 5);
    EXPECT_EQ(Data(s)[1], 10);
}

TEST_F(Modes, ResetReturnsToNormal) {
    Sample s(1, 1);
    Call("GeneratorSampleMode", SM_ADD);
    MorvaneReset();
    Call("GConst", s.h, 5);
    Call("GConst", s.h, 6);
    EXPECT_EQ(Data(s)[0], 6);
}

TEST_F(Modes, MixSampleFollowsTheModeAndMapsChannels) {
    Sample mono(4, 1);
    Sample stereo(2, 2);
    Call("GConst", mono.h, 1000);
    Call("GeneratorSampleMode", SM_NORMAL);
    Call("MixSample", stereo.h, mono.h, 32767); // mono into both channels, shorter source
    EXPECT_EQ(Data(stereo), (std::vector<int16_t>{1000, 1000, 1000, 1000}));
    Call("GeneratorSampleMode", SM_ADD);
    Call("MixSample", mono.h, stereo.h, 16384); // stereo averaged into mono, then silence
    EXPECT_EQ(Data(mono), (std::vector<int16_t>{1500, 1500, 1000, 1000}));
}

using Shaping = Modes;

TEST_F(Shaping, FadeHitsItsEndPoints) {
    Sample s(101, 2);
    Call("GConst", s.h, 10000);
    Call("Fade", s.h, 32767, 0);
    std::vector<int16_t> d = Data(s);
    EXPECT_EQ(d[0], 10000);
    EXPECT_EQ(d[1], 10000);
    EXPECT_EQ(d[100], 5000); // frame 50 of 0..100
    EXPECT_EQ(d[200], 0);
    EXPECT_EQ(d[201], 0);
    Sample one(1, 1);
    Call("GConst", one.h, 10000);
    Call("Fade", one.h, 16384, 0);
    EXPECT_EQ(Data(one)[0], 5000);
}

TEST_F(Shaping, EnvelopeFollowsTheCurveWithoutOvershoot) {
    Sample s(1001, 1);
    Call("GConst", s.h, 20000);
    Call("SplCount", 4);
    Call("SplSet", 0, F(0.0f), F(0.0f));
    Call("SplSet", 1, F(0.1f), F(1.0f)); // attack
    Call("SplSet", 3, F(1.0f), F(0.0f)); // release to silence
    Call("SplSet", 2, F(0.4f), F(0.5f)); // points need not come in order
    Call("Envelope", s.h);
    std::vector<int16_t> d = Data(s);
    EXPECT_EQ(d[0], 0);
    EXPECT_EQ(d[100], 20000);
    EXPECT_EQ(d[400], 10000);
    EXPECT_EQ(d[1000], 0);
    for (size_t i = 1; i < 100; ++i) {
        EXPECT_GE(d[i], d[i - 1]); // rises monotonically to the peak
    }
    for (size_t i = 101; i <= 1000; ++i) {
        ASSERT_LE(d[i], d[i - 1]);
    }
}

TEST_F(Shaping, EnvelopeWithoutPointsSilences) {
    Sample s(10, 1);
    Call("GConst", s.h, 20000);
    Call("Envelope", s.h);
    EXPECT_EQ(Data(s), std::vector<int16_t>(10, 0));
}

TEST_F(Shaping, DistortionKeepsThePeakAndFillsTheWave) {
    Sample s(44100, 1);
    Call("GSample", s.h, FG_SIN, F(100), 8000);
    std::vector<double> before = Channel(Data(s), 1, 0);
    Call("Distortion", s.h, F(5.0f));
    std::vector<double> after = Channel(Data(s), 1, 0);
    EXPECT_NEAR(Peak(after), 8000, 1);
    double rmsBefore = 0;
    double rmsAfter = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        rmsBefore += before[i] * before[i];
        rmsAfter += after[i] * after[i];
        // Soft clipping keeps the sign and the order of values.
        ASSERT_EQ(before[i] > 0, after[i] > 0);
        ASSERT_GE(std::fabs(after[i]), std::fabs(before[i]) - 1);
    }
    EXPECT_GT(rmsAfter, 1.3 * rmsBefore);
    EXPECT_GT(ToneAmplitude(after, 300), 0.05 * ToneAmplitude(after, 100)); // odd harmonics
}

TEST_F(Shaping, QuantRoundsToTheNearestStep) {
    // 5 bits: steps of 2048. Values worked by hand; 32768 does not fit and saturates.
    const int16_t in[] = {0, 1023, 1024, -1023, -1024, 3000, 3100, -3100, 32767, -32768};
    const int16_t out[] = {0, 0, 2048, 0, -2048, 2048, 4096, -4096, 32767, -32768};
    constexpr int32_t n = sizeof in / sizeof in[0];
    Sample s(n, 1);
    auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9;
    std::memcpy(data, in, sizeof in);
    Call("Quant", s.h, 5);
    EXPECT_EQ(Data(s), std::vector<int16_t>(out, out + n));
}

TEST_F(Shaping, QuantAddsNoOffset) {
    // Every 16-bit value once: the mean stays -0.5 (truncation made it -(step / 2) - 0.5), but
    // for the top values that saturate at 32767 instead of reaching 32768.
    for (int32_t bits : {1, 3, 5, 8, 16}) {
        Sample s(65536, 1);
        auto* data = static_cast<uint8_t*>(MorvaneSampleBlock(s)) + 9;
        for (int32_t i = 0; i < 65536; ++i) {
            const auto v = static_cast<int16_t>(i - 32768);
            std::memcpy(data + 2 * i, &v, 2);
        }
        Call("Quant", s.h, bits);
        double sum = 0;
        for (int16_t v : Data(s)) {
            sum += v;
        }
        const double saturated = bits < 16 ? (1 << (15 - bits)) / 65536.0 : 0.0;
        EXPECT_NEAR(sum / 65536, -0.5 - saturated, 1e-9) << bits;
    }
}

TEST_F(Shaping, ChaosReachesItsAmplitudeAndRepeatsExactly) {
    for (const char* proc : {"Rossler", "Lorenz"}) {
        Sample a(44100, 1);
        Sample b(44100, 1);
        Call(proc, a.h, F(500), 12000);
        Call(proc, b.h, F(500), 12000);
        std::vector<double> x = Channel(Data(a), 1, 0);
        EXPECT_EQ(Data(a), Data(b)) << proc;
        // Centred on its mean: no offset, and the wider side reaches the amplitude.
        EXPECT_NEAR(Peak(x), 12000, 1) << proc;
        double sum = 0;
        for (double v : x) {
            sum += v;
        }
        EXPECT_LT(std::fabs(sum / x.size()), 0.5) << proc;
    }
}

TEST_F(Shaping, ReverbAddsADecayingTailWithinTheSample) {
    Sample dry(44100, 2);
    Call("GConst", dry.h, 0);
    std::vector<int16_t> impulse = Data(dry);
    Sample s(44100, 2);
    Call("GSample", s.h, FG_SIN, F(440), 10000);
    Call("Fade", s.h, 32767, 0);
    Sample burst(2000, 2);
    Call("MixSample", burst.h, s.h, 32767);
    Call("GConst", s.h, 0);
    Call("GeneratorSampleMode", SM_ADD);
    Call("MixSample", s.h, burst.h, 32767); // a short burst, then silence
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.5f));
    std::vector<double> left = Channel(Data(s), 2, 0);
    std::vector<double> right = Channel(Data(s), 2, 1);
    auto energy = [](const std::vector<double>& x, size_t from, size_t to) {
        double e = 0;
        for (size_t i = from; i < to; ++i) {
            e += x[i] * x[i];
        }
        return e;
    };
    EXPECT_GT(energy(left, 5000, 10000), 0);
    EXPECT_GT(energy(left, 5000, 10000), energy(left, 30000, 35000)); // it decays
    EXPECT_NE(left, right);                                           // and spreads
    EXPECT_LT(Peak(left), 32767);
    // Wet 0 leaves the sample as it was.
    std::vector<int16_t> before = Data(s);
    Call("Reverb", s.h, F(0.8f), F(0.3f), F(0.0f));
    EXPECT_EQ(Data(s), before);
}
