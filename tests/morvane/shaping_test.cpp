// In-place shaping: fades, curve envelopes, soft clipping, resolution, chaos and reverb.
#include "morvane_call.h"

#include <cstring>
#include <vector>

using namespace mvtest;

class Shaping : public ::testing::Test {
  protected:
    void SetUp() override { MorvaneReset(); }
    void TearDown() override { MorvaneReset(); }
};

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
