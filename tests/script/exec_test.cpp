#include "fake_library.h"

#include "script/dllgen.h"
#include "script/exec.h"
#include "script/smplescript.h"

#include "morvane.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

using namespace kellix;

namespace {

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

class Execution : public ::testing::Test {
  protected:
    void SetUp() override { fake::Install(); }
    void TearDown() override {
        DoneScripts();
        SetSampleRelease(nullptr);
        fake::Clear();
    }

    static int32_t HandleOf(const SampleBlock* block) {
        int32_t handle;
        std::memcpy(&handle, block->Header, 4);
        return handle;
    }
    static int TimesFreed(int32_t handle) {
        return static_cast<int>(std::count(fake::Freed.begin(), fake::Freed.end(), handle));
    }

    TInstrument instrument{};
};

TEST_F(Execution, IdentTableHoldsTheLibraryThenTheBuiltins) {
    const char* builtins[kBuiltinCount] = {
        "RESAMPLE", "WAV",    "RESULT",    "S1",        "S2",         "S3",     "S4",
        "S5",       "S6",     "S7",        "S8",        "SM_NORMAL",  "SM_ADD", "SM_SUB",
        "SM_MUL",   "FG_SIN", "FG_ABSSIN", "FG_SQUARE", "FG_TRIANGL", "FG_SAW", "FG_SPLINE"};
    const intptr_t constants[10] = {0, 1, 2, 3, 0, 1, 2, 3, 4, 5};
    // Thirteen usable library entries before the end mark; TOOMANY is left out.
    ASSERT_EQ(IdentCount, 13 + kBuiltinCount);
    EXPECT_STREQ(IdentTable[0].EntryName, "GENERATORSAMPLEMODE");
    EXPECT_EQ(fake::EntryIndex("TOOMANY"), -1);
    for (int32_t i = 0; i < kBuiltinCount; ++i) {
        const IdentEntry& e = IdentTable[13 + i];
        EXPECT_STREQ(e.EntryName, builtins[i]);
        if (i >= 11) {
            EXPECT_EQ(e.Kind, kIdentConstant);
            EXPECT_EQ(intptr_t{e.Address}, constants[i - 11]);
        }
    }
    EXPECT_EQ(IdentTable[13].Kind, kIdentProcedure);
    EXPECT_EQ(int32_t{IdentTable[13].ParamCount}, 2);
    EXPECT_EQ(intptr_t{IdentTable[15].Address}, reinterpret_cast<intptr_t>(&Vars.Result));
}

TEST_F(Execution, DefaultCodeGivesTheInstrumentItsSample) {
    EXPECT_EQ(ExeScript(kDefaultCode, &instrument), "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20000);
    EXPECT_EQ(instrument.Sample->Format, 1);
    EXPECT_EQ(Vars.Result, 0);
    EXPECT_EQ(fake::LiveBlocks(), 1);
    // A script without a result leaves the instrument silent.
    int32_t old = HandleOf(instrument.Sample);
    EXPECT_EQ(ExeScript("GeneratorSampleMode(1)", &instrument), "Ok");
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_EQ(TimesFreed(old), 1);
    EXPECT_EQ(fake::LiveBlocks(), 0);
}

TEST_F(Execution, ResultWaitsForAnInstrumentAcrossAFailedCompilation) {
    EXPECT_EQ(ExeScript(kDefaultCode, nullptr), "Ok");
    int32_t made = Vars.Result;
    ASSERT_NE(fake::Block(made), nullptr);
    EXPECT_EQ(ExeScript("REC3(1,2,3) Foo bar", &instrument),
              "Error: Undeclared indentifier Foo bar");
    EXPECT_EQ(instrument.Sample, fake::Block(made));
    EXPECT_EQ(Vars.Result, 0);
}

TEST_F(Execution, FailedCompilationRunsNothingARunResetsTheLibrary) {
    fake::Mode = 3;
    EXPECT_EQ(ExeScript("REC3(1,2,3) CreateSample( 10000 )", &instrument),
              "Error: Not enough actual parameters 10000 )");
    EXPECT_TRUE(fake::Calls.empty());
    EXPECT_EQ(fake::ResetCount, 0);
    EXPECT_EQ(fake::Mode, 3);
    // A run resets the library first.
    ExeScript("GeneratorSampleMode(2)", &instrument);
    EXPECT_EQ(fake::ResetCount, 1);
    EXPECT_EQ(fake::Mode, 2);
    ExeScript("REC3(1,2,3)", &instrument);
    EXPECT_EQ(fake::Mode, 0);
}

TEST_F(Execution, ResultNoInstrumentTookIsFreedByTheNextRunOrTheEnd) {
    ExeScript(kDefaultCode, nullptr);
    int32_t left = Vars.Result;
    ExeScript(kDefaultCode, nullptr);
    EXPECT_EQ(TimesFreed(left), 1);
    EXPECT_NE(Vars.Result, left);
    EXPECT_EQ(fake::LiveBlocks(), 1);
    // So does the program's end.
    left = Vars.Result;
    DoneScripts();
    EXPECT_EQ(Vars.Result, 0);
    EXPECT_EQ(TimesFreed(left), 1);
    EXPECT_EQ(fake::LiveBlocks(), 0);
}

TEST_F(Execution, TemporariesAreReleasedBeforeAndAfterTheRun) {
    int32_t stale = fake::NewBlock(10, 1);
    Vars.S[4] = stale;
    EXPECT_EQ(ExeScript("S1 := CreateSample(10,1); S8 := CreateSample(5,2); "
                        "RESULT := CreateSample(20,1)",
                        &instrument),
              "Ok");
    EXPECT_EQ(TimesFreed(stale), 1);
    EXPECT_EQ(fake::Freed.size(), 3u);
    for (int32_t s : Vars.S) {
        EXPECT_EQ(s, 0);
    }
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 40);
    EXPECT_EQ(fake::LiveBlocks(), 1);
}

TEST_F(Execution, BlockHeldByResultAndTemporariesGoesToTheInstrument) {
    EXPECT_EQ(ExeScript("S1 := CreateSample(10,1); RESULT := SetResultTo(S1); "
                        "S2 := SetResultTo(S1); S3 := CreateSample(3,1); S4 := SetResultTo(S3)",
                        &instrument),
              "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    int32_t kept = HandleOf(instrument.Sample);
    EXPECT_EQ(TimesFreed(kept), 0);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20);
    // The block in S3 and S4 is released once.
    ASSERT_EQ(fake::Freed.size(), 1u);
    EXPECT_EQ(fake::LiveBlocks(), 1);
}

TEST_F(Execution, WavIsNeverReleased) {
    ExeScript("WAV := CreateSample(10,1)", &instrument);
    int32_t wav = Vars.Wav;
    ExeScript(kDefaultCode, &instrument);
    EXPECT_EQ(Vars.Wav, wav);
    EXPECT_NE(fake::Block(wav), nullptr);
    EXPECT_EQ(TimesFreed(wav), 0);
    Vars.Wav = 0;
}

TEST_F(Execution, ResampleBuiltinReachesTheBlock) {
    EXPECT_EQ(ExeScript("RESULT := CreateSample(4,1); FILLSAMPLE(RESULT, 1000); "
                        "RESAMPLE(RESULT, 0); RESAMPLE(0, 0); RESAMPLE(12345, 0)",
                        &instrument),
              "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(LoadS16(SampleData(instrument.Sample) + 2 * k), 1000);
    }
}

TEST_F(Execution, ProgramStartClearsTheVariables) {
    Vars.Result = 5;
    Vars.S[3] = 6;
    fake::Install();
    EXPECT_EQ(Vars.Result, 0);
    EXPECT_EQ(Vars.S[3], 0);
}

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
