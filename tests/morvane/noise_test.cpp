// Noise statistics, smoothness and determinism per seed.
#include "morvane_call.h"

using namespace mvtest;

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
