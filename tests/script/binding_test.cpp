#include "script/dllgen.h"
#include "script/exec.h"
#include "script/smplescript.h"

#include "morvane.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kellix;

namespace {

// The script runner bound to the generator library itself.
class Binding : public ::testing::Test {
  protected:
    void SetUp() override { StartScripting(); }
    void TearDown() override {
        ReleaseSample(instrument.Sample);
        EndScripting();
        SetSampleRelease(nullptr);
    }
    TInstrument instrument{};
};

TEST_F(Binding, DefaultCodeMakesASampleThroughTheLibrary) {
    ASSERT_GT(IdentCount, kBuiltinCount);
    EXPECT_EQ(ExeScript(" GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );",
                        &instrument),
              "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(instrument.Sample->Format, 1);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20000);
    int32_t handle = MorvaneSampleHandle(instrument.Sample);
    // Replacing the sample releases the old block through the library.
    ExeScript("Result:=CreateSample( 100 , 2 )", &instrument);
    EXPECT_EQ(MorvaneSampleBlock(handle), nullptr);
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 400);
}

TEST_F(Binding, ScriptsCannotReachAnInstrumentsSampleByItsNumber) {
    ASSERT_EQ(
        ExeScript("Result := CreateSample( 100 , 1 ); GSample( Result , FG_SQUARE , 441 , 1000 )",
                  &instrument),
        "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    const int32_t handle = MorvaneSampleHandle(instrument.Sample);
    ASSERT_NE(handle, 0);
    const uint8_t* data = SampleData(instrument.Sample);
    const std::vector<uint8_t> before(data, data + 200);
    ASSERT_NE(before, std::vector<uint8_t>(200, 0));
    // Voices may be playing the block: a script naming its handle must not touch it.
    const std::string h = std::to_string(handle);
    const std::string attack = "GConst( " + h + " , 5 ); RESAMPLE( " + h + " , 0 ); FreeSample( " +
                               h + " ); Result := CloneSample( " + h + " )";
    TInstrument other{};
    EXPECT_EQ(ExeScript(attack.c_str(), &other), "Ok");
    EXPECT_EQ(other.Sample, nullptr);
    EXPECT_EQ(MorvaneSampleHandle(instrument.Sample), handle);
    EXPECT_EQ(std::vector<uint8_t>(data, data + 200), before);
    EXPECT_EQ(MorvaneSampleBlock(handle), nullptr);
}

TEST_F(Binding, ResultLeftAtProgramEndIsFreed) {
    ExeScript("Result:=CreateSample( 100 , 1 )", nullptr);
    int32_t handle = Vars.Result;
    ASSERT_NE(MorvaneSampleBlock(handle), nullptr);
    EndScripting();
    EXPECT_EQ(MorvaneSampleBlock(handle), nullptr);
    StartScripting();
}

} // namespace
