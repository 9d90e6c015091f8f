#include "test_library.h"

#include "morvane/morvane_call.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of heap bytes in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace kellix;
using namespace std::literals;
using mvtest::BlockData;

namespace {

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

bool Alive(int32_t handle) {
    return MorvaneSampleBlock(handle) != nullptr;
}

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

class Execution : public ::testing::Test {
  protected:
    std::unique_ptr<Scripting> Scripts = scripttest::Install();
    SampleBlock* instrument = nullptr; // an instrument's sample
    ScriptVariables& Vars = Scripts->Variables();
    bool overLimit = false; // the last run was refused a block for the sample memory limit

    void TearDown() override {
        ReleaseSample(instrument);
        Scripts.reset();
        SetSampleRelease(nullptr);
        EXPECT_EQ(MorvaneLiveSamples(), 0);
    }
    // The run's status. For an instrument's sample slot, the instrument takes the sample made
    // and releases the one it had, as the window's instrument panel does; without one RESULT
    // keeps it until the next run.
    std::string Exe(const std::string& code, SampleBlock** slot) {
        const ScriptRun run = slot ? Scripts->Run(code, *slot) : Scripts->RunAlone(code);
        overLimit = run.OverSampleLimit;
        if (slot && *slot != run.Sample) {
            ReleaseSample(std::exchange(*slot, run.Sample));
        }
        return run.Status;
    }
};

// A new sample replaces the instrument's old one, which is released; a script without a result
// leaves the instrument silent.
TEST_F(Execution, DefaultCodeGivesTheInstrumentItsSample) {
    EXPECT_EQ(Exe(kDefaultCode, &instrument), "Ok");
    ASSERT_NE(instrument, nullptr);
    EXPECT_EQ(int32_t{instrument->DataSize}, 20000);
    int32_t old = MorvaneSampleHandle(instrument);
    EXPECT_EQ(Exe("Result:=CreateSample( 100 , 2 )", &instrument), "Ok");
    EXPECT_FALSE(Alive(old));
    EXPECT_EQ(int32_t{instrument->DataSize}, 400);
    old = MorvaneSampleHandle(instrument);
    EXPECT_EQ(Exe("GeneratorSampleMode(1)", &instrument), "Ok");
    EXPECT_EQ(instrument, nullptr);
    EXPECT_FALSE(Alive(old));
}

// A failed compilation runs nothing; a run starts from the library's start settings.
TEST_F(Execution, FailedCompilationRunsNothingARunResetsTheLibrary) {
    EXPECT_EQ(Exe("Result := CreateSample( 10 , 1 ) CreateSample( 10000 )", &instrument),
              "Error: Not enough actual parameters 10000 )");
    EXPECT_EQ(MorvaneLiveSamples(), 0);
    Exe("GeneratorSampleMode( SM_ADD )", &instrument);
    Exe("Result := CreateSample( 1 , 1 ); GConst( Result , 5 ); GConst( Result , 5 )", &instrument);
    EXPECT_EQ(LoadS16(SampleData(instrument)), 5);
}

// A result no instrument took is freed by the next run or the program's end, or taken by the
// next instrument across a failed compilation.
TEST_F(Execution, ResultNoInstrumentTookIsFreedOrTakenLater) {
    Exe(kDefaultCode, nullptr);
    const int32_t left = Vars.Result;
    Exe(kDefaultCode, nullptr);
    EXPECT_FALSE(Alive(left));
    void* made = MorvaneSampleBlock(Vars.Result);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Exe("REC3(1,2,3) Foo bar", &instrument), "Error: Undeclared indentifier Foo bar");
    EXPECT_EQ(instrument, made);
    EXPECT_EQ(Vars.Result, 0);
    Exe(kDefaultCode, nullptr);
    const int32_t atEnd = Vars.Result;
    Scripts = scripttest::Install();
    EXPECT_FALSE(Alive(atEnd)) << "the end of a scripting frees what RESULT held";
    EXPECT_EQ(Scripts->Variables().Result | Scripts->Variables().S[3], 0);
}

// Temporaries are released after the run, each block once and never the block RESULT or WAV
// holds; one left from before a run is released by it.
TEST_F(Execution, TemporariesAreReleasedButNotTheBlocksOfResultAndWav) {
    EXPECT_EQ(Exe("S1 := CreateSample(10,1); RESULT := SAME(S1); S2 := SAME(S1); "
                  "S3 := CreateSample(3,1); S4 := SAME(S3); WAV := CreateSample(5,1)",
                  &instrument),
              "Ok");
    ASSERT_NE(instrument, nullptr);
    EXPECT_EQ(int32_t{instrument->DataSize}, 20);
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    EXPECT_EQ(Vars.S[0] | Vars.S[1] | Vars.S[2] | Vars.S[3], 0);
    const int32_t wav = Vars.Wav;
    Vars.S[4] = Vars.S[5] = wav;
    Exe(kDefaultCode, &instrument);
    EXPECT_EQ(Vars.Wav, wav);
    EXPECT_TRUE(Alive(wav));
    Vars.Wav = 0;
    Vars.S[4] = wav;
    Exe(kDefaultCode, &instrument);
    EXPECT_FALSE(Alive(wav));
}

// Memory stays flat however often scripts run. The blocks a run lost track of (overwritten
// temporaries, RESULT and WAV, results stored nowhere, a hundred minutes of stereo through one
// variable: 1 GB held during the run) are released at its end; WAV keeps a block made by an
// earlier run, and a temporary that aliases it does no harm. WAV owns one block at a time: a
// script that stores a new second or minute of stereo in WAV at every run holds that block
// and the instrument's sample only; the program's end releases it. Under the sanitizer the
// heap holds no more than the live blocks, give or take small blocks.
TEST_F(Execution, MemoryStaysFlatOverRuns) {
#if defined(__SANITIZE_ADDRESS__)
    const std::size_t heapBefore = __sanitizer_get_current_allocated_bytes();
#endif
    const std::string result = " Result := CreateSample( 10 , 1 );";
    EXPECT_EQ(Exe(Repeat(" S1 := CreateSample( 2646000 , 2 );\r\n", 100) + result, &instrument),
              "Ok");
    EXPECT_FALSE(overLimit);
    EXPECT_EQ(MorvaneLiveSamples(), 1);
    EXPECT_EQ(Exe(" S2 := CreateSample( 100 , 1 ); S2 := CreateSample( 100 , 1 );"
                  " Result := CreateSample( 10 , 1 ); Result := CreateSample( 20 , 1 );"
                  " CreateSample( 30 , 1 ); CloneSample( Result );"
                  " WAV := CreateSample( 40 , 1 ); WAV := CreateSample( 50 , 2 );",
                  &instrument),
              "Ok");
    ASSERT_NE(instrument, nullptr);
    EXPECT_EQ(int32_t{instrument->DataSize}, 40);
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    EXPECT_EQ(Exe(" S3 := WAV;" + result, &instrument), "Ok");
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    EXPECT_TRUE(Alive(Vars.Wav));

    const std::string rest = " ); GConst( WAV , 1000 ); Result := CreateSample( 1000 , 1 );";
    for (const auto& [frames, runs] : {std::pair{44100, 1000}, {2646000, 20}}) {
        for (int run = 0; run < runs; ++run) {
            ASSERT_EQ(
                Exe("WAV := CreateSample( " + std::to_string(frames) + " , 2" + rest, &instrument),
                "Ok");
            ASSERT_EQ(MorvaneLiveSampleBytes(), 9 + 1000 * 2 + 9 + frames * 4) << run;
        }
    }
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    const auto* wavBlock = static_cast<const SampleBlock*>(MorvaneSampleBlock(Vars.Wav));
    ASSERT_NE(wavBlock, nullptr);
    EXPECT_EQ(LoadS16(SampleData(wavBlock) + wavBlock->DataSize - 2), 1000);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(__sanitizer_get_current_allocated_bytes(),
              heapBefore + static_cast<std::size_t>(MorvaneLiveSampleBytes()) + 100000);
#endif
    const int32_t wav = Vars.Wav;
    Scripts.reset();
    EXPECT_FALSE(Alive(wav));
    EXPECT_EQ(MorvaneLiveSamples(), 1);
}

// 101 minutes of stereo (2,646,000 frames of 4 bytes and a 9-byte header each) fit under
// 1 GiB, a 102nd does not: the run then ends without a sample, whether CreateSample or
// CloneSample made it and whether a variable holds it or not. Released blocks no longer count,
// and the next run starts from nothing.
TEST_F(Execution, SampleMemoryOfARunIsCapped) {
    ASSERT_EQ(MORVANE_RUN_SAMPLE_BYTES, 1u << 30);
    const std::string line = " S1 := CreateSample( 2646000 , 2 );\r\n";
    for (const auto& [code, capped] : {std::pair{Repeat(line, 102), true},
                                       {Repeat(line, 101) + " S2 := CloneSample( S1 );", true},
                                       {Repeat(line + " S1 := FreeSample( S1 );", 102), false}}) {
        EXPECT_EQ(Exe(code + " Result := CreateSample( 10 , 1 );", &instrument), "Ok");
        EXPECT_EQ(overLimit, capped);
        EXPECT_EQ(instrument == nullptr, capped);
        EXPECT_EQ(MorvaneLiveSamples(), capped ? 0 : 1);
    }
}

// A block WAV stops naming goes, unless RESULT took it; WAV's block outlives a run whose
// RESULT named it without an instrument to take it. (Scripts have no assignment of one
// variable to another: SAME gives two variables one block.)
TEST_F(Execution, WavReleasesWhatItStopsNaming) {
    Exe("WAV := CreateSample( 10 , 1 )", &instrument);
    const int32_t first = Vars.Wav;
    Exe("GConst( WAV , 9 ); Result := SAME( WAV ); WAV := CreateSample( 20 , 1 )", &instrument);
    EXPECT_EQ(MorvaneSampleHandle(instrument), first);
    EXPECT_EQ(BlockData(instrument), std::vector<int16_t>(10, 9));
    Exe("GConst( WAV , 4 ); Result := SAME( WAV )", nullptr);
    Exe("Result := CloneSample( WAV )", &instrument);
    EXPECT_EQ(BlockData(instrument), std::vector<int16_t>(20, 4));
    EXPECT_EQ(MorvaneLiveSamples(), 2);
}

// Voices may be playing an instrument's sample: a script naming it by its number or through WAV
// may copy it but neither change nor release it, in runs for this instrument, another or none,
// whatever variable names it when WAV moves on. Once the instrument lets it go, WAV names nothing,
// even when the library's slot holds a new block.
TEST_F(Execution, AnInstrumentsBlockInWavIsOnlyRead) {
    const char made[] =
        "WAV := CreateSample( 100 , 1 ); GConst( WAV , 1000 ); Result := SAME( WAV )";
    ASSERT_EQ(Exe(made, &instrument), "Ok");
    const SampleBlock* held = instrument;
    const std::vector<int16_t> sound(100, 1000);
    SampleBlock* other = nullptr;
    for (const std::string& h : {std::to_string(MorvaneSampleHandle(instrument)), "WAV"s}) {
        EXPECT_EQ(Exe("GConst( " + h + " , 5 ); RESAMPLE( " + h + " , 0 ); FreeSample( " + h +
                          " ); Result := CloneSample( " + h + " )",
                      &other),
                  "Ok");
        EXPECT_EQ(BlockData(other), sound);
    }
    EXPECT_EQ(Exe("Result := SAME( WAV )", &instrument), "Ok");
    EXPECT_EQ(instrument, held);
    Exe("Result := SAME( WAV )", nullptr);
    Exe("S1 := SAME( WAV ); S2 := CloneSample( S1 ); WAV := SAME( S2 )", nullptr);
    Exe("S3 := CreateSample( 5 , 1 ); WAV := SAME( S3 )", nullptr);
    EXPECT_EQ(instrument, held);
    EXPECT_EQ(BlockData(held), sound);

    Exe(made, &instrument);
    Exe("Result := CreateSample( 10 , 1 )", &instrument);
    EXPECT_EQ(Exe("S1 := CreateSample( 100 , 1 ); Result := CloneSample( WAV )", &other), "Ok");
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(MorvaneLiveSamples(), 1);
}

} // namespace
