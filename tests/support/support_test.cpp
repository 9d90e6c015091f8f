#include "support/blocks.h"
#include "support/cpu.h"
#include "support/fatal.h"
#include "support/numtext.h"
#include "support/random.h"
#include "support/text.h"
#include "support/tokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

using namespace kellix;

namespace {

TEST(Random, SeedOneOneGivesTheKnownSequenceWithinTheModulus) {
    RandomGenerator g;
    RandomSeed(g, 1, 1);
    EXPECT_EQ(g.R[0], 16808);
    EXPECT_EQ(g.R[3], 1439559043);
    for (int32_t expected : {139959439, -204241641, -1164692004, 1113924684}) {
        EXPECT_EQ(RandomNext(g), expected);
    }
    RandomSeed(g, -123456789, 987654321);
    for (int i = 0; i < 100000; ++i) {
        const int32_t v = RandomNext(g);
        ASSERT_TRUE(v >= -2147483646 && v <= 2147483646) << v;
    }
}

TEST(NumberText, WritesUnsignedAndSignedForms) {
    const struct {
        int32_t value;
        const char *asUnsigned, *asSigned;
    } cases[] = {
        {-1, "4294967295", "-1"},
        {0, "0", "0"},
        {INT32_MIN, "2147483648", "-2147483648"},
        {INT32_MAX, "2147483647", "2147483647"},
    };
    char buf[16];
    for (const auto& c : cases) {
        char* end = WriteUnsigned(buf, c.value);
        EXPECT_STREQ(buf, c.asUnsigned);
        EXPECT_EQ(end, buf + std::strlen(c.asUnsigned));
        WriteSigned(buf, c.value);
        EXPECT_STREQ(buf, c.asSigned);
        EXPECT_EQ(IntToText(c.value), c.asSigned);
    }
    WriteUnsigned(WriteSigned(buf, -12), 34); // the returned end is where the next text goes
    EXPECT_STREQ(buf, "-1234");
}

TEST(NumberText, ReadsIntegersByTheNumberRule) {
    const std::pair<const char*, int32_t> cases[] = {
        {"-12", -12},
        {"+12", 12},
        {"   7", 7},
        {"12AB", 12},  // stops early: digits so far
        {"-12AB", 12}, // ... without the sign
        {"AB", 0},
        {"\t7", 0}, // a tab is not skipped
        {"", 0},
        {"-", 0},
        {nullptr, 0},
        {"$ff", 255},
        {"$FFFFFFFF", -1},
        {"-2147483648", INT32_MIN},
        {"4294967295", 429496729}, // a value past 214748364 takes no digit
        {"-4294967295", 429496729},
    };
    for (auto [text, value] : cases) {
        EXPECT_EQ(TextToInt(text), value) << (text ? text : "null");
    }
}

TEST(NumberText, StrictWholeNumbersOfTheNumberEdits) {
    const struct {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"  -7", true, -7},
        {"+5", true, 5},
        {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},
        {"2147483647", true, INT32_MAX},
        {"-2147483648", true, INT32_MIN},
        {"2147483648", false, 0},
        {"$100000000", false, 0},
        {"", false, 0},
        {"   ", false, 0},
        {"-", false, 0},
        {"$", false, 0},
        {"12x", false, 0},
        {"12 ", false, 0},
        {"1 2", false, 0},
        {"\t3", false, 0},
        {"0x10", false, 0},
        {"99999999999999999999", false, 0},
    };
    for (const auto& c : cases) {
        int32_t value = 4242;
        EXPECT_EQ(StrictTextToInt(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 4242) << c.text;
    }
}

TEST(NumberText, ReadsSinglesUpToTheFirstUnfittingCharacter) {
    const std::pair<const char*, float> cases[] = {
        {"261.63", 261.63f}, {"-0.5", -0.5f},   {"+2", 2.0f},
        {"1e3", 1000.0f},    {"1.5E-1", 0.15f}, {"3.25xyz", 3.25f},
        {"7e", 7.0f},        {".5", 0.5f},      {"abc", 0.0f},
        {"", 0.0f},          {"1e-99", 0.0f},   {"1e99", std::numeric_limits<float>::infinity()},
    };
    for (auto [text, value] : cases) {
        EXPECT_FLOAT_EQ(TextToSingle(text), value) << text;
    }
}

TEST(WordSplitter, SplitsInPlaceAndKeepsTheDelimiterRun) {
    char text[] = "A, B";
    WordSplitter ws;
    EXPECT_STREQ(NextToken(ws, text, " ,"), "A");
    EXPECT_EQ(ws.Delimiters, ", ");
    EXPECT_EQ(ws.Resume, text + 3);
    EXPECT_STREQ(NextToken(ws, nullptr, " ,"), "B");
    EXPECT_EQ(ws.Delimiters, "");
    EXPECT_EQ(ws.Resume, nullptr);
    EXPECT_EQ(NextToken(ws, nullptr, " ,"), nullptr);

    // Empty words and a run that reaches the end of the text.
    char runs[] = ";;x;;";
    EXPECT_STREQ(NextToken(ws, runs, ";"), "");
    EXPECT_EQ(ws.Delimiters, ";;");
    EXPECT_STREQ(NextToken(ws, nullptr, ";"), "x");
    EXPECT_EQ(ws.Delimiters, ";;");
    EXPECT_EQ(ws.Resume, nullptr);
    EXPECT_EQ(NextToken(ws, nullptr, ";"), nullptr);
    EXPECT_EQ(ws.Delimiters, "");
    char empty[] = "";
    EXPECT_STREQ(NextToken(ws, empty, ";"), "");
    EXPECT_EQ(ws.Resume, nullptr);
}

TEST(Text, RoutinesOnZeroTerminatedTextsAndBlocks) {
    EXPECT_EQ(TextLength(nullptr), 0u);
    EXPECT_EQ(TextLength("abc"), 3u);
    char s[] = "aBz{`\xe4";
    TextUpper(s);
    EXPECT_STREQ(s, "ABZ{`\xe4");
    char* copy = TextDuplicate("abcdef", 3);
    EXPECT_STREQ(copy, "abc");
    FreeBlock(copy);
    EXPECT_EQ(copy, nullptr);
    char* p = reinterpret_cast<char*>(1);
    AllocBlock(p, 0);
    EXPECT_EQ(p, nullptr);
    FreeBlock(p); // harmless

    const struct {
        const char* Text;
        std::ptrdiff_t Pos;
        int Line;
    } cases[] = {
        {"abc", 99, 1},      {"a\nb", 1, 1},      {"a\nb", 2, 2},
        {"a\r\nb", 2, 1},    {"a\r\nb", 3, 2},    {"a\rb\nc", 4, 3},
        {"\r\n\r\nx", 4, 3}, {"a\nb\0\nc", 6, 2}, {nullptr, 5, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LineOfPosition(c.Text, c.Pos), c.Line) << c.Pos;
    }
}

TEST(Processor, FeatureBitsComeFromTheIdentificationRegisters) {
    uint32_t edx = (1u << 0) | (1u << 23) | (1u << 25) | (1u << 26);
    EXPECT_EQ(FeaturesFromCpuid(edx, 0x80000000u, 1u << 31),
              CPU_FPU | CPU_MMX | CPU_SSE | CPU_SSE2);
    EXPECT_EQ(FeaturesFromCpuid(0, 0x80000001u, 1u << 31), CPU_3DNOW);
    EXPECT_EQ(FeaturesFromCpuid(1u << 15 | 1u << 4 | 1u << 5 | 1u << 8 | 1u << 24, 0, 0),
              CPU_CMOV | CPU_TSC | CPU_MSR | CPU_CX8 | CPU_FXSR);
    EXPECT_STREQ(ProcessorVendor(), "No Processor");
    TestCPU();
    EXPECT_TRUE(ProcessorFeatures & CPU_FPU);
    EXPECT_STRNE(ProcessorVendor(), "No Processor");
}

// The wide vector bits need the instructions and the operating system's saving of their
// registers.
TEST(Processor, WideVectorBitsNeedTheRegistersSaved) {
    const uint32_t osAvx = (1u << 27) | (1u << 28); // leaf 1 ECX: OSXSAVE, AVX
    const uint32_t avx2 = 1u << 5, avx512 = (1u << 16) | (1u << 30);
    struct Case {
        uint32_t ecx, ebx;
        uint64_t xcr0;
        uint32_t expected;
    };
    const Case cases[] = {
        {osAvx, avx2 | avx512, 0xE7, CPU_AVX2 | CPU_AVX512},
        {osAvx, avx2 | avx512, 0x07, CPU_AVX2},     // upper 512-bit state not saved
        {osAvx, avx2 | avx512, 0x03, 0},            // AVX state not saved
        {1u << 28, avx2 | avx512, 0xE7, 0},         // no OSXSAVE
        {osAvx, avx2 | (1u << 16), 0xE7, CPU_AVX2}, // no BW
        {osAvx, avx512, 0xE7, 0},                   // AVX-512 without AVX2 is not used
        {osAvx, 0, 0xE7, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(WideFeaturesFromCpuid(c.ecx, c.ebx, c.xcr0), c.expected)
            << std::hex << c.ecx << " " << c.ebx << " " << c.xcr0;
    }
    TestCPU();
    EXPECT_EQ(ProcessorFeatures, DetectProcessorFeatures());
}

TEST(FatalErrorDeathTest, ShowsTheMessageThroughTheInstalledDisplayAndExits) {
    EXPECT_EXIT(FatalError("FPU is not supported!"), ::testing::ExitedWithCode(1),
                "Error!: FPU is not supported!");
    EXPECT_EXIT(
        {
            SetFatalErrorDisplay([](const char* m) { fprintf(stderr, "shown <%s>\n", m); });
            FatalError("boom");
        },
        ::testing::ExitedWithCode(1), "shown <boom>");
}

} // namespace
