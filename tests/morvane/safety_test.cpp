// Every procedure on tiny, stereo, missing and stale samples with wild parameters: nothing may
// crash or write outside its block (AddressSanitizer watches), and generators fill both channels.
#include "morvane_call.h"

using namespace mvtest;

namespace {

// Calls every procedure that takes a sample first, with the float and integer values given.
void CallAll(int32_t s, int32_t other, int32_t i, float f) {
    Call("GSample", s, i, F(f), i);
    Call("GSweep", s, i, F(f), F(f), F(f), i);
    Call("Operator", s, i, F(f), i, other, F(f));
    Call("NoiseSample", s, i, i);
    Call("WavletNoise", s, i, F(f), i);
    Call("WavletHQ", s, i, F(f), i);
    Call("Rossler", s, F(f), i);
    Call("Lorenz", s, F(f), i);
    Call("GConst", s, i);
    Call("MixSample", s, other, i);
    Call("Fade", s, i, i);
    Call("Envelope", s);
    Call("Distortion", s, F(f));
    Call("SPLPFilter", s, F(f));
    Call("ZandR", s, F(f), F(f));
    Call("Quant", s, i);
    Call("Reverb", s, F(f), F(f), F(f));
}

} // namespace

TEST(Safety, WildParametersOnEverySize) {
    const int32_t ints[] = {0, 1, 5, -1, 32767, 100000, INT32_MIN, INT32_MAX};
    const float floats[] = {0.0f, 1.0f, 440.0f, -440.0f, 1e30f, -1e30f, NAN, INFINITY, 1e-40f};
    int32_t stale = Call("CreateSample", 5, 1);
    FreeSample(stale);
    for (int32_t frames : {1, 2, 300}) {
        for (int32_t format : {1, 2}) {
            Sample s(frames, format);
            Sample other(3, 3 - format);
            for (int32_t i : ints) {
                MorvaneReset();
                Call("SplCount", i);
                Call("SplSet", i, F(0.5f), F(2.0f));
                Call("GeneratorSampleMode", i);
                for (float f : floats) {
                    CallAll(s.h, other.h, i, f);
                    CallAll(s.h, s.h, i, f);
                    CallAll(0, other.h, i, f);
                    CallAll(stale, stale, i, f);
                }
            }
            EXPECT_EQ(Data(s).size(), static_cast<size_t>(frames * format));
        }
    }
    MorvaneReset();
}

TEST(Safety, GeneratorsFillBothChannelsOfAStereoSample) {
    MorvaneReset();
    Call("SplCount", 2);
    Call("SplSet", 0, F(0.0f), F(1.0f));
    Call("SplSet", 1, F(1.0f), F(-1.0f));
    Sample mod(500, 1);
    Call("GSample", mod.h, FG_SIN, F(50), 20000);
    for (int32_t shape = FG_SIN; shape <= FG_SPLINE; ++shape) {
        Sample s(500, 2);
        Call("GSample", s.h, shape, F(441), 10000);
        std::vector<int16_t> d = Data(s);
        EXPECT_EQ(Channel(d, 2, 0), Channel(d, 2, 1)) << shape;
        EXPECT_GT(Peak(Channel(d, 2, 1)), 5000) << shape;
    }
    std::vector<std::vector<int32_t>> calls;
    Sample a(500, 2), b(500, 2), c(500, 2), d(500, 2), e(500, 2), f(500, 2), g(500, 2);
    Call("NoiseSample", a.h, 10000, 1);
    Call("WavletNoise", b.h, 10000, F(1000), 1);
    Call("WavletHQ", c.h, 10000, F(1000), 1);
    Call("Rossler", d.h, F(1000), 10000);
    Call("Lorenz", e.h, F(1000), 10000);
    Call("GSweep", f.h, FG_SIN, F(1000), F(50), F(0.01f), 10000);
    Call("Operator", g.h, FG_SIN, F(300), 10000, mod.h, F(2.0f));
    for (int32_t h : {a.h, b.h, c.h, d.h, e.h, f.h, g.h}) {
        std::vector<int16_t> x = Data(h);
        EXPECT_EQ(Channel(x, 2, 0), Channel(x, 2, 1));
        EXPECT_GT(Peak(Channel(x, 2, 1)), 1000);
    }
    MorvaneReset();
}
