// What a script run may hold: blocks it lost track of are released when it ends, and the
// sample memory it holds at once is capped. Run by the script runner as the program does.
#include "morvane_call.h"

#include "script/dllgen.h"
#include "script/exec.h"
#include "song/sample.h"

#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of heap bytes in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace {

// One minute of stereo: 2,646,000 frames of 4 bytes and the 9-byte header.
constexpr uint64_t kMinuteBytes = 2646000ull * 4 + 9;

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

// Heap bytes in use, where the sanitizer's allocator can tell; 0 elsewhere.
uint64_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__)
    return __sanitizer_get_current_allocated_bytes();
#else
    return 0;
#endif
}

class RunMemory : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kellix::StartScripting(); }
    static void TearDownTestSuite() { kellix::EndScripting(); }
    void TearDown() override {
        kellix::ReleaseSample(instrument.Sample);
        FreeSample(kellix::Vars.Wav);
        kellix::Vars.Wav = 0;
        EXPECT_EQ(MorvaneLiveSamples(), 0);
    }
    // Runs the code for the instrument; returns the blocks alive beyond its sample.
    int32_t Run(const std::string& code) {
        EXPECT_EQ(kellix::ExeScript(code.c_str(), &instrument), "Ok");
        return MorvaneLiveSamples() - (instrument.Sample ? 1 : 0);
    }
    kellix::TInstrument instrument{};
};

TEST_F(RunMemory, BlocksTheScriptLostTrackOfAreReleased) {
    const uint64_t heapBefore = HeapInUse();
    // A hundred minutes of stereo through one variable: 1 GB held during the run.
    const std::string overwrite = Repeat(" S1 := CreateSample( 2646000 , 2 );\r\n", 100) +
                                  " Result := CreateSample( 10 , 1 );";
    EXPECT_EQ(Run(overwrite), 0);
    EXPECT_NE(instrument.Sample, nullptr);
    EXPECT_FALSE(kellix::RunOverSampleLimit);
    // Overwritten temporaries, RESULT and WAV, results stored nowhere.
    EXPECT_EQ(Run(" S2 := CreateSample( 100 , 1 ); S2 := CreateSample( 100 , 1 );"
                  " Result := CreateSample( 10 , 1 ); Result := CreateSample( 20 , 1 );"
                  " CreateSample( 30 , 1 ); CloneSample( Result );"
                  " WAV := CreateSample( 40 , 1 ); WAV := CreateSample( 50 , 2 );"),
              1); // the last WAV
    ASSERT_NE(instrument.Sample, nullptr);
    const int32_t resultBytes = instrument.Sample->DataSize;
    EXPECT_EQ(resultBytes, 40);
    EXPECT_NE(MorvaneSampleBlock(kellix::Vars.Wav), nullptr);
    // WAV keeps a block made by an earlier run, and a temporary that aliases it does no harm.
    EXPECT_EQ(Run(" S3 := WAV; Result := CreateSample( 10 , 1 );"), 1);
    EXPECT_NE(MorvaneSampleBlock(kellix::Vars.Wav), nullptr);
    // The heap holds no more than before, give or take the small blocks still alive.
    if (heapBefore != 0) {
        EXPECT_LT(HeapInUse(), heapBefore + 100000);
    }
}

TEST_F(RunMemory, SampleMemoryOfARunIsCapped) {
    ASSERT_EQ(MORVANE_RUN_SAMPLE_BYTES, 1u << 30);
    // 101 minutes fit under 1 GiB, a 102nd does not: the run then ends without a sample.
    const int32_t fit = static_cast<int32_t>(MORVANE_RUN_SAMPLE_BYTES / kMinuteBytes);
    ASSERT_EQ(fit, 101);
    const std::string line = " S1 := CreateSample( 2646000 , 2 );\r\n";
    const std::string result = " Result := CreateSample( 10 , 1 );";
    // Every block of the run counts until it is released, whether a variable holds it or not.
    // The 102nd block, made by CreateSample or by CloneSample, is refused.
    EXPECT_EQ(Run(Repeat(line, fit + 1) + result), 0);
    EXPECT_TRUE(kellix::RunOverSampleLimit);
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_EQ(Run(Repeat(line, fit) + " S2 := CloneSample( S1 );" + result), 0);
    EXPECT_TRUE(kellix::RunOverSampleLimit);
    EXPECT_EQ(instrument.Sample, nullptr);
    // Released blocks no longer count, and the next run starts from nothing.
    EXPECT_EQ(Run(Repeat(line + " S1 := FreeSample( S1 );", fit + 1) + result), 0);
    EXPECT_FALSE(kellix::RunOverSampleLimit);
    EXPECT_NE(instrument.Sample, nullptr);
}

} // namespace
