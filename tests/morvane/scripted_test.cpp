// The library run by the script runner as the program does: the example instruments, and
// what a script run may hold (blocks it lost track of are released when it ends, and the sample
// memory it holds at once is capped).
#include "morvane_call.h"

#include "script/dllgen.h"
#include "script/exec.h"
#include "song/sample.h"

#include "test_files.h"

#include <cstdlib>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of heap bytes in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace mvtest;

namespace {

class Scripted : public ::testing::Test {
  protected:
    std::unique_ptr<kellix::Scripting> Scripts = kellix::StartScripting();
    void TearDown() override {
        kellix::ReleaseSample(instrument.Sample);
        Scripts.reset();
        EXPECT_EQ(MorvaneLiveSamples(), 0);
    }
    // Runs the code for the instrument, which takes the sample made; returns the blocks alive
    // beyond its sample.
    int32_t Run(const std::string& code) {
        const kellix::ScriptRun run = Scripts->Run(code, instrument.Sample);
        EXPECT_EQ(run.Status, "Ok");
        overLimit = run.OverSampleLimit;
        if (instrument.Sample != run.Sample) {
            kellix::ReleaseSample(instrument.Sample);
        }
        instrument.Sample = run.Sample;
        return MorvaneLiveSamples() - (instrument.Sample ? 1 : 0);
    }
    struct {
        kellix::SampleBlock* Sample = nullptr;
    } instrument;
    bool overLimit = false; // the last run was refused a block for the sample memory limit
};

std::string Repeat(const std::string& line, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) {
        text += line;
    }
    return text;
}

} // namespace

// Each example instrument makes a sound of 0.2 to 3 seconds, loud enough to hear and quiet
// enough for several voices to mix, that ends quietly so that a note cut at the end of the
// sample does not click. (That they make the same bytes every run is checked by the renders of
// the example songs against their checksums.)
TEST_F(Scripted, ExampleInstrumentsSoundReasonable) {
    const char* root = std::getenv("KELLIX_SOURCE_DIR");
    const std::string dir = std::string(root ? root : ".") + "/instruments/";
    const std::pair<const char*, bool> files[] = {
        {"kick.txt", false},       {"snare.txt", false}, {"hihat_closed.txt", false},
        {"hihat_open.txt", false}, {"bass.txt", true},   {"pluck.txt", true},
        {"lead.txt", true},        {"pad.txt", true},    {"fm_bell.txt", true},
        {"wind.txt", false},       {"laser.txt", false}, {"chaos_drone.txt", false},
        {"organ.txt", true},
    };
    for (auto [file, pitched] : files) {
        SCOPED_TRACE(file);
        const std::string code = kellix::test::ReadFile(dir + file);
        ASSERT_FALSE(code.empty());
        Run(code);
        ASSERT_NE(instrument.Sample, nullptr);
        const std::vector<int16_t> d = BlockData(instrument.Sample);
        const std::vector<double> x = Channel(d, instrument.Sample->Format, 0);
        EXPECT_GE(x.size(), 0.2 * kRate);
        EXPECT_LE(x.size(), 3.0 * kRate);
        const double peak = Peak(x);
        EXPECT_GT(peak, 3000);
        EXPECT_LT(peak, 20000);
        EXPECT_LT(Peak(std::vector<double>(x.end() - x.size() / 100, x.end())), 0.1 * peak);
        // Pitched ones sound C4 (261.63 Hz), well above B3, C#4 and C3.
        const std::vector<double> part(x.begin() + 2205, x.begin() + 13230);
        const double c4 = ToneAmplitude(part, 261.63);
        for (double other : {246.94, 277.18, 130.81}) {
            EXPECT_TRUE(!pitched || c4 > 3 * ToneAmplitude(part, other)) << other;
        }
    }
}

// Overwritten temporaries, RESULT and WAV, results stored nowhere, a hundred minutes of stereo
// through one variable (1 GB held during the run): only the instrument's sample and the last
// WAV stay. WAV keeps a block made by an earlier run, and a temporary that aliases it does no
// harm. Under the sanitizer the heap holds no more than before, give or take small blocks.
TEST_F(Scripted, BlocksTheScriptLostTrackOfAreReleased) {
#if defined(__SANITIZE_ADDRESS__)
    const std::size_t heapBefore = __sanitizer_get_current_allocated_bytes();
#endif
    EXPECT_EQ(Run(Repeat(" S1 := CreateSample( 2646000 , 2 );\r\n", 100) +
                  " Result := CreateSample( 10 , 1 );"),
              0);
    EXPECT_FALSE(overLimit);
    EXPECT_EQ(Run(" S2 := CreateSample( 100 , 1 ); S2 := CreateSample( 100 , 1 );"
                  " Result := CreateSample( 10 , 1 ); Result := CreateSample( 20 , 1 );"
                  " CreateSample( 30 , 1 ); CloneSample( Result );"
                  " WAV := CreateSample( 40 , 1 ); WAV := CreateSample( 50 , 2 );"),
              1);
    ASSERT_NE(instrument.Sample, nullptr);
    EXPECT_EQ(int32_t{instrument.Sample->DataSize}, 40);
    EXPECT_EQ(Run(" S3 := WAV; Result := CreateSample( 10 , 1 );"), 1);
    EXPECT_NE(MorvaneSampleBlock(Scripts->Variables().Wav), nullptr);
#if defined(__SANITIZE_ADDRESS__)
    EXPECT_LT(__sanitizer_get_current_allocated_bytes(), heapBefore + 100000);
#endif
}

// 101 minutes of stereo (2,646,000 frames of 4 bytes and a 9-byte header each) fit under
// 1 GiB, a 102nd does not: the run then ends without a sample, whether CreateSample or
// CloneSample made it and whether a variable holds it or not. Released blocks no longer count,
// and the next run starts from nothing.
TEST_F(Scripted, SampleMemoryOfARunIsCapped) {
    ASSERT_EQ(MORVANE_RUN_SAMPLE_BYTES, 1u << 30);
    const std::string line = " S1 := CreateSample( 2646000 , 2 );\r\n";
    const std::string result = " Result := CreateSample( 10 , 1 );";
    EXPECT_EQ(Run(Repeat(line, 102) + result), 0);
    EXPECT_TRUE(overLimit);
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_EQ(Run(Repeat(line, 101) + " S2 := CloneSample( S1 );" + result), 0);
    EXPECT_TRUE(overLimit);
    EXPECT_EQ(instrument.Sample, nullptr);
    EXPECT_EQ(Run(Repeat(line + " S1 := FreeSample( S1 );", 102) + result), 0);
    EXPECT_FALSE(overLimit);
    EXPECT_NE(instrument.Sample, nullptr);
}
