#include "test_library.h"

#include "script/exec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kellix;

namespace {

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

bool Alive(int32_t handle) {
    return MorvaneSampleBlock(handle) != nullptr;
}

class Execution : public ::testing::Test {
  protected:
    void SetUp() override { scripttest::Install(); }
    void TearDown() override {
        ReleaseSample(instrument.Sample);
        DoneScripts();
        SetSampleRelease(nullptr);
        EXPECT_EQ(MorvaneLiveSamples(), 0);
    }
    TInstrument instrument{};
};

// The identifier table holds the library's entries, then the built-in names. A new sample
// replaces the instrument's old one, which is released; a script without a result leaves the
// instrument silent.
TEST_F(Execution, DefaultCodeGivesTheInstrumentItsSample) {
    const IdentEntry* builtins = IdentTable + IdentCount - kBuiltinCount;
    EXPECT_STREQ(IdentTable[0].EntryName, "CREATESAMPLE");
    EXPECT_STREQ(builtins[-1].EntryName, "INERT"); // TOOMANY and AFTEREND are left out
    EXPECT_STREQ(builtins[20].EntryName, "FG_SPLINE");
    EXPECT_EQ(ExeScript(kDefaultCode, &instrument), "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20000);
    int32_t old = MorvaneSampleHandle(instrument.Sample);
    EXPECT_EQ(ExeScript("Result:=CreateSample( 100 , 2 )", &instrument), "Ok");
    EXPECT_FALSE(Alive(old));
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 400);
    old = MorvaneSampleHandle(instrument.Sample);
    EXPECT_EQ(ExeScript("GeneratorSampleMode(1)", &instrument), "Ok");
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_FALSE(Alive(old));
}

// A failed compilation runs nothing; a run starts from the library's start settings.
TEST_F(Execution, FailedCompilationRunsNothingARunResetsTheLibrary) {
    EXPECT_EQ(ExeScript("Result := CreateSample( 10 , 1 ) CreateSample( 10000 )", &instrument),
              "Error: Not enough actual parameters 10000 )");
    EXPECT_EQ(MorvaneLiveSamples(), 0);
    ExeScript("GeneratorSampleMode( SM_ADD )", &instrument);
    ExeScript("Result := CreateSample( 1 , 1 ); GConst( Result , 5 ); GConst( Result , 5 )",
              &instrument);
    EXPECT_EQ(LoadS16(SampleData(instrument.Sample)), 5);
}

// A result no instrument took is freed by the next run or the program's end, or taken by the
// next instrument across a failed compilation.
TEST_F(Execution, ResultNoInstrumentTookIsFreedOrTakenLater) {
    ExeScript(kDefaultCode, nullptr);
    const int32_t left = Vars.Result;
    ExeScript(kDefaultCode, nullptr);
    EXPECT_FALSE(Alive(left));
    void* made = MorvaneSampleBlock(Vars.Result);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(ExeScript("REC3(1,2,3) Foo bar", &instrument),
              "Error: Undeclared indentifier Foo bar");
    EXPECT_EQ(instrument.Sample, made);
    EXPECT_EQ(Vars.Result, 0);
    ExeScript(kDefaultCode, nullptr);
    const int32_t atEnd = Vars.Result;
    DoneScripts();
    EXPECT_EQ(Vars.Result, 0);
    EXPECT_FALSE(Alive(atEnd));
    // Program start clears the variables.
    Vars.Result = 5;
    Vars.S[3] = 6;
    scripttest::Install();
    EXPECT_EQ(Vars.Result | Vars.S[3], 0);
}

// Temporaries are released after the run, each block once and never the block RESULT or WAV
// holds; one left from before a run is released by it.
TEST_F(Execution, TemporariesAreReleasedButNotTheBlocksOfResultAndWav) {
    EXPECT_EQ(ExeScript("S1 := CreateSample(10,1); RESULT := SAME(S1); S2 := SAME(S1); "
                        "S3 := CreateSample(3,1); S4 := SAME(S3); WAV := CreateSample(5,1)",
                        &instrument),
              "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20);
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    EXPECT_EQ(Vars.S[0] | Vars.S[1] | Vars.S[2] | Vars.S[3], 0);
    const int32_t wav = Vars.Wav;
    Vars.S[4] = Vars.S[5] = wav;
    ExeScript(kDefaultCode, &instrument);
    EXPECT_EQ(Vars.Wav, wav);
    EXPECT_TRUE(Alive(wav));
    Vars.Wav = 0;
    Vars.S[4] = wav;
    ExeScript(kDefaultCode, &instrument);
    EXPECT_FALSE(Alive(wav));
}

// Voices may be playing an instrument's sample: a script naming its handle must not touch it.
TEST_F(Execution, ScriptsCannotReachAnInstrumentsSampleByItsNumber) {
    ASSERT_EQ(ExeScript("Result := CreateSample( 100 , 1 ); GSample( Result , FG_SQUARE , 441 , "
                        "1000 )",
                        &instrument),
              "Ok");
    const uint8_t* data = SampleData(instrument.Sample);
    const std::vector<uint8_t> before(data, data + 200);
    const std::string h = std::to_string(MorvaneSampleHandle(instrument.Sample));
    const std::string attack = "GConst( " + h + " , 5 ); RESAMPLE( " + h + " , 0 ); FreeSample( " +
                               h + " ); Result := CloneSample( " + h + " )";
    TInstrument other{};
    EXPECT_EQ(ExeScript(attack.c_str(), &other), "Ok");
    EXPECT_EQ(other.Sample, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 200), before);
    EXPECT_FALSE(Alive(std::stoi(h)));
}

} // namespace
