// Filters measured by the level of steady sines before and after.
#include "morvane_call.h"

using namespace mvtest;

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
