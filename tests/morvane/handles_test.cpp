// Blocks, handles and the identifier table.
#include "morvane_call.h"

#include <atomic>
#include <set>
#include <thread>

using namespace mvtest;

TEST(Handles, CreateSampleAcceptsOnlyValidLengthsAndFormats) {
    EXPECT_EQ(Call("CreateSample", 0, 1), 0);
    EXPECT_EQ(Call("CreateSample", -5, 1), 0);
    EXPECT_EQ(Call("CreateSample", 2646001, 1), 0);
    EXPECT_EQ(Call("CreateSample", 100, 0), 0);
    EXPECT_EQ(Call("CreateSample", 100, 3), 0);
    Sample longest(2646000, 2);
    EXPECT_NE(longest.h, 0);
    EXPECT_EQ(Data(longest).size(), 2646000u * 2);
}

TEST(Handles, BlockHasThePackedLayout) {
    Sample s(1000, 2);
    auto* block = static_cast<const uint8_t*>(MorvaneSampleBlock(s));
    ASSERT_NE(block, nullptr);
    int32_t header;
    int32_t size;
    std::memcpy(&header, block, 4);
    std::memcpy(&size, block + 5, 4);
    EXPECT_EQ(header, s.h);
    EXPECT_EQ(block[4], 2);
    EXPECT_EQ(size, 4000);
    EXPECT_EQ(MorvaneSampleHandle(block), s.h);
    EXPECT_EQ(MorvaneSampleHandle(nullptr), 0);
    for (int16_t v : Data(s)) {
        ASSERT_EQ(v, 0);
    }
}

TEST(Handles, FreedHandleNeverResolvesAgain) {
    int32_t first = Call("CreateSample", 10, 1);
    EXPECT_EQ(Call("FreeSample", first), 0);
    EXPECT_EQ(MorvaneSampleBlock(first), nullptr);
    EXPECT_EQ(FreeSample(first), 0); // a second release does nothing
    EXPECT_EQ(FreeSample(0), 0);
    EXPECT_EQ(FreeSample(-1), 0);
    // Many new blocks reuse the slot; none may take the old handle.
    std::set<int32_t> seen;
    for (int i = 0; i < 3000; ++i) {
        int32_t h = Call("CreateSample", 10, 1);
        ASSERT_NE(h, first);
        seen.insert(h);
        FreeSample(h);
    }
    EXPECT_EQ(seen.size(), 3000u);
    EXPECT_EQ(MorvaneSampleBlock(first), nullptr);
}

TEST(Handles, StaleHandleGeneratesNothing) {
    int32_t gone = Call("CreateSample", 10, 1);
    FreeSample(gone);
    Sample live(10, 1);
    Call("GConst", gone, 1000);
    Call("MixSample", live.h, gone, 32767);
    for (int16_t v : Data(live)) {
        EXPECT_EQ(v, 0);
    }
}

TEST(Handles, CloneIsAnIndependentCopy) {
    Sample a(50, 2);
    Call("GConst", a.h, 1234);
    Sample b(0, 0);
    b.h = Call("CloneSample", a.h);
    ASSERT_NE(b.h, 0);
    EXPECT_NE(b.h, a.h);
    EXPECT_EQ(Data(a), Data(b));
    Call("GConst", a.h, -7);
    EXPECT_EQ(Data(b)[99], 1234);
    EXPECT_EQ(Call("CloneSample", 0), 0);
}

TEST(Table, ListsEveryProcedureInUpperCaseWithReversedTypes) {
    const char* names[] = {"CreateSample", "GeneratorSampleMode",
                           "CloneSample",  "FreeSample",
                           "GSample",      "Rossler",
                           "Lorenz",       "NoiseSample",
                           "WavletNoise",  "GConst",
                           "SplCount",     "SplSet",
                           "Fade",         "Distortion",
                           "ZandR",        "SPLPFilter",
                           "WavletHQ",     "Quant",
                           "Operator",     "Reverb"};
    for (const char* n : names) {
        EXPECT_NE(GetSampleProcAddres(n), 0) << n;
        const MorvaneIdentEntry* e = Entry(n);
        ASSERT_NE(e, nullptr) << n;
        EXPECT_EQ(intptr_t{e->Address}, GetSampleProcAddres(n));
    }
    EXPECT_EQ(GetSampleProcAddres("NoSuchThing"), 0);
    EXPECT_EQ(GetSampleProcAddres(nullptr), 0);
    EXPECT_EQ(GetRasterProcAddres("CreateRaster"), 0);
    EXPECT_EQ(GetModelProcAddres("CreateModel"), 0);
    for (const MorvaneIdentEntry* e = GetSampleTableAddres(); e->Address != 0; ++e) {
        EXPECT_EQ(std::string(e->EntryName), [&] {
            std::string u(e->EntryName);
            for (char& c : u) {
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            }
            return u;
        }());
        EXPECT_LE(int32_t{e->ParamCount}, 16);
        EXPECT_LE(e->Kind, 1);
    }
    EXPECT_EQ(int{Entry("CreateSample")->Kind}, 1);
    EXPECT_EQ(int{Entry("GeneratorSampleMode")->Kind}, 0);
    // GSample(sample, shape, frequency, amplitude): the float is the second slot from the end.
    const MorvaneIdentEntry* g = Entry("GSample");
    ASSERT_EQ(int32_t{g->ParamCount}, 4);
    EXPECT_EQ(g->ParamTypes[0], 0);
    EXPECT_EQ(g->ParamTypes[1], 1);
    EXPECT_EQ(g->ParamTypes[2], 0);
    EXPECT_EQ(g->ParamTypes[3], 0);
}

TEST(Handles, LookupsFromAnotherThreadWhileBlocksComeAndGo) {
    std::atomic<bool> done{false};
    std::atomic<int32_t> latest{0};
    std::thread reader([&] {
        while (!done) {
            int32_t h = latest.load();
            void* block = MorvaneSampleBlock(h);
            // The block may be released at any moment; asking for its handle is still safe.
            EXPECT_GE(MorvaneSampleHandle(block), 0);
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
