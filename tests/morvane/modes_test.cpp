// The sample modes against values worked by hand on tiny samples.
#include "morvane_call.h"

using namespace mvtest;

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
