// Blocks, handles and the identifier table; every procedure on tiny, stereo, missing and stale
// samples with wild parameters: nothing may crash or write outside its block (AddressSanitizer
// watches), and generators fill both channels.
#include "morvane_call.h"

#include <atomic>
#include <set>
#include <thread>

using namespace mvtest;

// Blocks of valid sizes only, in the packed layout; a freed handle never resolves again, and
// clones are copies.
TEST(Handles, BlocksHandlesAndClones) {
    for (auto [frames, format] : {std::pair{0, 1}, {2646001, 1}, {100, 0}, {100, 3}}) {
        EXPECT_EQ(Call("CreateSample", frames, format), 0) << frames << " " << format;
    }
    Sample longest(2646000, 2);
    EXPECT_EQ(Data(longest), std::vector<int16_t>(2646000u * 2, 0));
    auto* block = static_cast<const uint8_t*>(MorvaneSampleBlock(longest));
    EXPECT_EQ(block[4], 2);
    EXPECT_EQ(MorvaneSampleHandle(block), longest.h);
    EXPECT_EQ(MorvaneSampleHandle(nullptr), 0);
    int32_t first = Call("CreateSample", 10, 1);
    EXPECT_EQ(Call("FreeSample", first), 0);
    EXPECT_EQ(FreeSample(first), 0); // a second release does nothing
    EXPECT_EQ(FreeSample(-1), 0);
    // Many new blocks reuse the slot; none may take the old handle.
    std::set<int32_t> seen;
    for (int i = 0; i < 3000; ++i) {
        int32_t h = Call("CreateSample", 10, 1);
        seen.insert(h);
        FreeSample(h);
    }
    EXPECT_EQ(seen.size(), 3000u);
    EXPECT_EQ(seen.count(first), 0u);
    EXPECT_EQ(MorvaneSampleBlock(first), nullptr);
    // A clone does not follow its original.
    Sample a(50, 2);
    Call("GConst", a.h, 1234);
    Sample b(0, 0);
    b.h = Call("CloneSample", a.h);
    Call("GConst", a.h, -7);
    EXPECT_EQ(Data(b), std::vector<int16_t>(100, 1234));
    EXPECT_EQ(Call("CloneSample", 0), 0);
}

// A block the program keeps (an instrument's sample) is only read by the procedures: mixed in,
// used as a modulator (that scripts cannot change, free or lose it, only copy it, is checked
// through the script runner); the live counts take it in until the program releases it.
TEST(Handles, KeptBlocksAreOnlyRead) {
    MorvaneReset();
    const int32_t blocks = MorvaneLiveSamples();
    const int64_t bytes = MorvaneLiveSampleBytes();
    const int32_t kept = Call("CreateSample", 100, 2);
    Call("GConst", kept, 300);
    MorvaneKeepSample(kept);
    EXPECT_EQ(MorvaneLiveSamples(), blocks + 1);
    EXPECT_EQ(MorvaneLiveSampleBytes(), bytes + 9 + 400);
    Sample mixed(100, 2);
    Call("MixSample", mixed.h, kept, 32767);
    EXPECT_EQ(Data(mixed), std::vector<int16_t>(200, 300));
    Sample plain(100, 1);
    Sample modulated(100, 1);
    Call("Operator", plain.h, FG_SIN, F(441.0f), 10000, 0, F(3.0f));
    Call("Operator", modulated.h, FG_SIN, F(441.0f), 10000, kept, F(3.0f));
    EXPECT_NE(Data(modulated), Data(plain));
    FreeSample(kept);
    EXPECT_EQ(MorvaneLiveSampleBytes(), bytes + 3 * 9 + 400 + 200 + 200);
    EXPECT_EQ(Call("CloneSample", kept), 0);
}

TEST(Handles, LookupsFromAnotherThreadWhileBlocksComeAndGo) {
    std::atomic<bool> done{false};
    std::atomic<int32_t> latest{0};
    std::thread reader([&] {
        while (!done) {
            // The block may be released at any moment; asking for its handle is still safe.
            EXPECT_GE(MorvaneSampleHandle(MorvaneSampleBlock(latest.load())), 0);
        }
    });
    std::vector<int32_t> live;
    for (int i = 0; i < 20000; ++i) {
        live.push_back(Call("CreateSample", 16, 1)); // grows the table while the reader looks
        latest = live.back();
        if (i % 3 == 2) {
            FreeSample(live.front());
            live.erase(live.begin());
        }
    }
    done = true;
    reader.join();
    for (int32_t h : live) {
        FreeSample(h);
    }
}

namespace {

// Calls every procedure that takes a sample first, with the real and integer values given.
void CallAll(int32_t s, int32_t other, int32_t i, float f) {
    Call("GSample", s, i, F(f), i);
    Call("GSweep", s, i, F(f), F(f), F(f), i);
    Call("Operator", s, i, F(f), i, other, F(f));
    Call("NoiseSample", s, i, i);
    Call("WavletNoise", s, i, F(f), i);
    Call("WavletHQ", s, i, F(f), i);
    Call("Rossler", s, F(f), i);
    Call("Lorenz", s, F(f), i);
    Call("GConst", s, i);
    Call("MixSample", s, other, i);
    Call("Fade", s, i, i);
    Call("Envelope", s);
    Call("Distortion", s, F(f));
    Call("SPLPFilter", s, F(f));
    Call("ZandR", s, F(f), F(f));
    Call("Quant", s, i);
    Call("Reverb", s, F(f), F(f), F(f));
}

} // namespace

TEST(Safety, WildParametersOnEverySize) {
    const int32_t ints[] = {0, 1, 5, -1, 32767, 100000, INT32_MIN, INT32_MAX};
    const float floats[] = {0.0f, 1.0f, 440.0f, -440.0f, 1e30f, -1e30f, NAN, INFINITY, 1e-40f};
    int32_t stale = Call("CreateSample", 5, 1);
    FreeSample(stale);
    for (int32_t frames : {1, 2, 300}) {
        for (int32_t format : {1, 2}) {
            Sample s(frames, format);
            Sample other(3, 3 - format);
            for (int32_t i : ints) {
                MorvaneReset();
                Call("SplCount", i);
                Call("SplSet", i, F(0.5f), F(2.0f));
                Call("GeneratorSampleMode", i);
                for (float f : floats) {
                    CallAll(s.h, other.h, i, f);
                    CallAll(s.h, s.h, i, f);
                    CallAll(0, other.h, i, f);
                    CallAll(stale, stale, i, f);
                }
            }
            EXPECT_EQ(Data(s).size(), static_cast<size_t>(frames * format));
        }
    }
    MorvaneReset();
}

// Every generator writes through one routine that puts its value on both channels of a stereo
// block; checked here with each wave shape.
TEST(Safety, GeneratorsFillBothChannelsOfAStereoSample) {
    MorvaneReset();
    Call("SplCount", 2);
    Call("SplSet", 0, F(0.0f), F(1.0f));
    Call("SplSet", 1, F(1.0f), F(-1.0f));
    for (int32_t shape = FG_SIN; shape <= FG_SPLINE; ++shape) {
        Sample s(500, 2);
        Call("GSample", s.h, shape, F(441), 10000);
        std::vector<int16_t> d = Data(s);
        EXPECT_EQ(Channel(d, 2, 0), Channel(d, 2, 1)) << shape;
        EXPECT_GT(Peak(Channel(d, 2, 1)), 5000) << shape;
    }
    MorvaneReset();
}
