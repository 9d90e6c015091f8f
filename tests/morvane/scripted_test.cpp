// The library run by the script runner as the program does: the example instruments, and
// what a script run may hold (blocks it lost track of are released when it ends, and the sample
// memory it holds at once is capped).
#include "morvane_call.h"

#include "script/dllgen.h"
#include "script/exec.h"
#include "song/sample.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's count of heap bytes in use.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

using namespace mvtest;

namespace {

std::string InstrumentsDir() {
    const char* root = std::getenv("KELLIX_SOURCE_DIR");
    if (root != nullptr) {
        return std::string(root) + "/instruments/";
    }
    std::string here = __FILE__;
    return here.substr(0, here.rfind("/tests/")) + "/instruments/";
}

struct Expectation {
    const char* file;
    bool pitched; // fundamental at C4, 261.63 Hz
};

const Expectation kInstruments[] = {
    {"kick.txt", false},       {"snare.txt", false}, {"hihat_closed.txt", false},
    {"hihat_open.txt", false}, {"bass.txt", true},   {"pluck.txt", true},
    {"lead.txt", true},        {"pad.txt", true},    {"fm_bell.txt", true},
    {"wind.txt", false},       {"laser.txt", false}, {"chaos_drone.txt", false},
    {"organ.txt", true},
};

// Level of hz in x[from, from + n), Hann-windowed so that neighbouring notes stay apart.
double WindowedTone(const std::vector<double>& x, size_t from, size_t n, double hz) {
    std::vector<double> w(n);
    for (size_t i = 0; i < n; ++i) {
        w[i] = x[from + i] * 0.5 * (1 - std::cos(2 * M_PI * static_cast<double>(i) / n));
    }
    return ToneAmplitude(w, hz);
}

class Instruments : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { kellix::StartScripting(); }
    static void TearDownTestSuite() { kellix::EndScripting(); }

    std::vector<int16_t> Run(const std::string& code, int32_t& channels) {
        kellix::TInstrument inst{};
        EXPECT_EQ(kellix::ExeScript(code.c_str(), &inst), "Ok");
        if (inst.Sample == nullptr) {
            ADD_FAILURE() << "no sample";
            return {};
        }
        channels = inst.Sample->Format;
        std::vector<int16_t> d = BlockData(inst.Sample);
        kellix::ReleaseSample(inst.Sample);
        return d;
    }
};

} // namespace

TEST_F(Instruments, CompileRunAndSoundReasonable) {
    for (const Expectation& e : kInstruments) {
        SCOPED_TRACE(e.file);
        std::ifstream in(InstrumentsDir() + e.file, std::ios::binary);
        ASSERT_TRUE(in) << InstrumentsDir() + e.file;
        std::stringstream text;
        text << in.rdbuf();
        std::string code = text.str();
        EXPECT_EQ(code.find('\t'), std::string::npos);
        int32_t channels = 0;
        std::vector<int16_t> d = Run(code, channels);
        ASSERT_FALSE(d.empty());
        EXPECT_EQ(Run(code, channels), d); // the same bytes every run
        std::vector<double> x = Channel(d, channels, 0);
        double seconds = static_cast<double>(x.size()) / kRate;
        EXPECT_GE(seconds, 0.2);
        EXPECT_LE(seconds, 3.0);
        // Loud enough to hear, quiet enough for several voices to mix.
        double peak = Peak(x);
        EXPECT_GT(peak, 3000);
        EXPECT_LT(peak, 20000);
        // Ends quietly, so that a note cut at the end of the sample does not click.
        std::vector<double> end(x.end() - static_cast<long>(x.size() / 100), x.end());
        EXPECT_LT(Peak(end), 0.1 * peak);
        if (e.pitched) {
            size_t n = 11025;
            double c4 = WindowedTone(x, 2205, n, 261.63);
            EXPECT_GT(c4, 3 * WindowedTone(x, 2205, n, 246.94)); // B3
            EXPECT_GT(c4, 3 * WindowedTone(x, 2205, n, 277.18)); // C#4
            EXPECT_GT(c4, 3 * WindowedTone(x, 2205, n, 130.81)); // C3: not an octave low
        }
        std::printf("%-18s %5.2f s  peak %6.0f\n", e.file, seconds, peak);
    }
}

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
