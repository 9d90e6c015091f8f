// Wave shapes measured on their output: pitch, level, duty, band limits, sweeps and FM.
#include "morvane_call.h"

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
