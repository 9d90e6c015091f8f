#include "test_library.h"


#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <tuple>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of heap bytes in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace kellix;

namespace {

const char kDefaultCode[] =
    " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );";

bool Alive(int32_t handle) {
    return MorvaneSampleBlock(handle) != nullptr;
}

std::vector<int16_t> Samples(const SampleBlock* block) {
    std::vector<int16_t> values;
    for (int32_t i = 0; block && i + 2 <= block->DataSize; i += 2) {
        values.push_back(LoadS16(SampleData(block) + i));
    }
    return values;
}

// An instrument's sample slot: a run for it gives it the sample made and releases the one it
// had, as the window's instrument panel does.
struct Slot {
    SampleBlock* Sample = nullptr;
};

class Execution : public ::testing::Test {
  protected:
    std::unique_ptr<Scripting> Scripts = scripttest::Install();
    Slot instrument;
    ScriptVariables& Vars = Scripts->Variables();

    void TearDown() override {
        ReleaseSample(instrument.Sample);
        Scripts.reset();
        SetSampleRelease(nullptr);
        EXPECT_EQ(MorvaneLiveSamples(), 0);
    }
    // The run's status; with a slot the instrument takes the sample, without one RESULT keeps
    // it until the next run.
    std::string Exe(const char* code, Slot* slot) {
        if (!slot) {
            return Scripts->RunAlone(code).Status;
        }
        const ScriptRun run = Scripts->Run(code, slot->Sample);
        if (slot->Sample != run.Sample) {
            ReleaseSample(slot->Sample);
        }
        slot->Sample = run.Sample;
        return run.Status;
    }
};

// The identifier table holds the library's entries, then the built-in names. A new sample
// replaces the instrument's old one, which is released; a script without a result leaves the
// instrument silent.
TEST_F(Execution, DefaultCodeGivesTheInstrumentItsSample) {
    const std::vector<IdentEntry>& names = Scripts->Names();
    const IdentEntry* builtins = names.data() + names.size() - kBuiltinCount;
    EXPECT_STREQ(names[0].EntryName, "CREATESAMPLE");
    EXPECT_STREQ(builtins[-1].EntryName, "INERT"); // TOOMANY and AFTEREND are left out
    EXPECT_STREQ(builtins[20].EntryName, "FG_SPLINE");
    EXPECT_EQ(Exe(kDefaultCode, &instrument), "Ok");
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20000);
    int32_t old = MorvaneSampleHandle(instrument.Sample);
    EXPECT_EQ(Exe("Result:=CreateSample( 100 , 2 )", &instrument), "Ok");
    EXPECT_FALSE(Alive(old));
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 400);
    old = MorvaneSampleHandle(instrument.Sample);
    EXPECT_EQ(Exe("GeneratorSampleMode(1)", &instrument), "Ok");
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_FALSE(Alive(old));
}

// A failed compilation runs nothing; a run starts from the library's start settings.
TEST_F(Execution, FailedCompilationRunsNothingARunResetsTheLibrary) {
    EXPECT_EQ(Exe("Result := CreateSample( 10 , 1 ) CreateSample( 10000 )", &instrument),
              "Error: Not enough actual parameters 10000 )");
    EXPECT_EQ(MorvaneLiveSamples(), 0);
    Exe("GeneratorSampleMode( SM_ADD )", &instrument);
    Exe("Result := CreateSample( 1 , 1 ); GConst( Result , 5 ); GConst( Result , 5 )",
              &instrument);
    EXPECT_EQ(LoadS16(SampleData(instrument.Sample)), 5);
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
    EXPECT_EQ(Exe("REC3(1,2,3) Foo bar", &instrument),
              "Error: Undeclared indentifier Foo bar");
    EXPECT_EQ(instrument.Sample, made);
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
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 20);
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

// Voices may be playing an instrument's sample: a script naming its handle may copy it but
// neither change nor release it.
TEST_F(Execution, ScriptsOnlyReadAnInstrumentsSampleByItsNumber) {
    ASSERT_EQ(Exe("Result := CreateSample( 100 , 1 ); GSample( Result , FG_SQUARE , 441 , "
                        "1000 )",
                        &instrument),
              "Ok");
    const std::vector<int16_t> before = Samples(instrument.Sample);
    const std::string h = std::to_string(MorvaneSampleHandle(instrument.Sample));
    const std::string attack = "GConst( " + h + " , 5 ); RESAMPLE( " + h + " , 0 ); FreeSample( " +
                               h + " ); Result := CloneSample( " + h + " )";
    Slot other;
    EXPECT_EQ(Exe(attack.c_str(), &other), "Ok");
    EXPECT_EQ(Samples(instrument.Sample), before);
    EXPECT_EQ(Samples(other.Sample), before);
    EXPECT_FALSE(Alive(std::stoi(h)));
    ReleaseSample(other.Sample);
}

// WAV owns one block at a time: a script that stores a new sample in WAV at every run holds
// one such block (and the instrument's sample) however often it runs, a minute of stereo
// included; the program's end releases it.
TEST_F(Execution, WavHoldsOneBlockHoweverOftenItRuns) {
    const std::string rest = " ); GConst( WAV , 1000 ); Result := CreateSample( 1000 , 1 );";
    const std::string second = "WAV := CreateSample( 44100 , 2" + rest;
    const std::string minute = "WAV := CreateSample( 2646000 , 2" + rest;
    const int64_t sample = 9 + 1000 * 2;
#if defined(__SANITIZE_ADDRESS__)
    Exe(minute.c_str(), &instrument);
    const std::size_t heapBefore = __sanitizer_get_current_allocated_bytes();
#endif
    for (const auto& [script, runs, wav] :
         {std::tuple{second, 1000, 9 + 44100 * 4}, {minute, 20, 9 + 2646000 * 4}}) {
        for (int run = 0; run < runs; ++run) {
            ASSERT_EQ(Exe(script.c_str(), &instrument), "Ok");
            ASSERT_EQ(MorvaneLiveSampleBytes(), sample + wav) << run;
        }
    }
    EXPECT_EQ(MorvaneLiveSamples(), 2);
    const auto* wavBlock = static_cast<const SampleBlock*>(MorvaneSampleBlock(Vars.Wav));
    ASSERT_NE(wavBlock, nullptr);
    EXPECT_EQ(LoadS16(SampleData(wavBlock) + wavBlock->DataSize - 2), 1000);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(__sanitizer_get_current_allocated_bytes(), heapBefore + 100000);
#endif
    const int32_t wav = Vars.Wav;
    Scripts.reset();
    EXPECT_FALSE(Alive(wav));
    EXPECT_EQ(MorvaneLiveSamples(), 1);
}

// A block WAV stops naming goes, unless RESULT took it; WAV's block outlives a run whose
// RESULT named it without an instrument to take it. (Scripts have no assignment of one
// variable to another: SAME gives two variables one block.)
TEST_F(Execution, WavReleasesWhatItStopsNaming) {
    Exe("WAV := CreateSample( 10 , 1 )", &instrument);
    int32_t first = Vars.Wav;
    Exe("WAV := CreateSample( 10 , 1 )", &instrument);
    EXPECT_FALSE(Alive(first));
    first = Vars.Wav;
    Exe("GConst( WAV , 9 ); Result := SAME( WAV ); WAV := CreateSample( 20 , 1 )",
              &instrument);
    EXPECT_EQ(MorvaneSampleHandle(instrument.Sample), first);
    EXPECT_EQ(Samples(instrument.Sample), std::vector<int16_t>(10, 9));
    Exe("GConst( WAV , 4 ); Result := SAME( WAV )", nullptr);
    Exe("Result := CloneSample( WAV )", &instrument);
    EXPECT_EQ(Samples(instrument.Sample), std::vector<int16_t>(20, 4));
    EXPECT_EQ(MorvaneLiveSamples(), 2);
}

// An instrument's sample that WAV names stays the instrument's: later runs (for this
// instrument, another or none) read it through WAV but never change or free it, whatever
// variable names it when WAV moves on. Once the instrument lets it go, WAV names nothing, even
// when the library's slot holds a new block.
TEST_F(Execution, AnInstrumentsBlockInWavIsOnlyRead) {
    const char made[] =
        "WAV := CreateSample( 100 , 1 ); GConst( WAV , 1000 ); Result := SAME( WAV )";
    ASSERT_EQ(Exe(made, &instrument), "Ok");
    const SampleBlock* held = instrument.Sample;
    const std::vector<int16_t> sound(100, 1000);
    Slot other;
    EXPECT_EQ(Exe("GConst( WAV , 5 ); RESAMPLE( WAV , 0 ); FreeSample( WAV ); "
                        "Result := CloneSample( WAV )",
                        &other),
              "Ok");
    EXPECT_EQ(Samples(other.Sample), sound);
    EXPECT_EQ(Exe("Result := SAME( WAV )", &instrument), "Ok");
    EXPECT_EQ(instrument.Sample, held);
    Exe("Result := SAME( WAV )", nullptr);
    Exe("S1 := SAME( WAV ); S2 := CloneSample( S1 ); WAV := SAME( S2 )", nullptr);
    Exe("S3 := CreateSample( 5 , 1 ); WAV := SAME( S3 )", nullptr);
    EXPECT_EQ(instrument.Sample, held);
    EXPECT_EQ(Samples(held), sound);

    Exe(made, &instrument);
    Exe("Result := CreateSample( 10 , 1 )", &instrument);
    EXPECT_EQ(Exe("S1 := CreateSample( 100 , 1 ); Result := CloneSample( WAV )", &other),
              "Ok");
    EXPECT_EQ(other.Sample, nullptr);
    EXPECT_EQ(MorvaneLiveSamples(), 1);
}

} // namespace
