// The example instruments, compiled and run by the script runner as the program does.
#include "morvane_call.h"

#include "script/dllgen.h"
#include "script/exec.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

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
