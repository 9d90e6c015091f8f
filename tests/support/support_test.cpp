#include "support/blocks.h"
#include "support/cpu.h"
#include "support/fatal.h"
#include "support/numtext.h"
#include "support/random.h"
#include "support/text.h"
#include "support/tokenizer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

using namespace kellix;

namespace {

TEST(Random, SeedOneOneGivesTheKnownSequence) {
    RandomGenerator g;
    RandomSeed(g, 1, 1);
    EXPECT_EQ(g.R[0], 16808);
    EXPECT_EQ(g.R[1], 811338969);
    EXPECT_EQ(g.R[2], -1179516242);
    EXPECT_EQ(g.R[3], 1439559043);
    EXPECT_EQ(RandomNext(g), 139959439);
    EXPECT_EQ(RandomNext(g), -204241641);
    EXPECT_EQ(RandomNext(g), -1164692004);
    EXPECT_EQ(RandomNext(g), 1113924684);
}

TEST(Random, StaysWithinTheModulus) {
    RandomGenerator g;
    RandomSeed(g, -123456789, 987654321);
    for (int i = 0; i < 100000; ++i) {
        int32_t v = RandomNext(g);
        ASSERT_GE(v, -2147483646);
        ASSERT_LE(v, 2147483646);
    }
}

TEST(NumberText, WritesUnsignedAndSignedForms) {
    char buf[16];
    char* end = WriteUnsigned(buf, -1);
    EXPECT_STREQ(buf, "4294967295");
    EXPECT_EQ(end, buf + 10);
    EXPECT_EQ(*end, 0);
    WriteSigned(buf, -1);
    EXPECT_STREQ(buf, "-1");
    WriteUnsigned(buf, 0);
    EXPECT_STREQ(buf, "0");
    WriteSigned(buf, 0);
    EXPECT_STREQ(buf, "0");
    WriteSigned(buf, -2147483647 - 1);
    EXPECT_STREQ(buf, "-2147483648");
    WriteSigned(buf, 2147483647);
    EXPECT_STREQ(buf, "2147483647");
    // Appending: the returned end is where the next text goes.
    WriteUnsigned(WriteSigned(buf, -12), 34);
    EXPECT_STREQ(buf, "-1234");
    EXPECT_EQ(IntToText(-5), "-5");
    EXPECT_EQ(IntToText(123), "123");
}

TEST(NumberText, ReadsIntegersByTheNumberRule) {
    EXPECT_EQ(TextToInt("12"), 12);
    EXPECT_EQ(TextToInt("-12"), -12);
    EXPECT_EQ(TextToInt("+12"), 12);
    EXPECT_EQ(TextToInt("   7"), 7);
    EXPECT_EQ(TextToInt("12AB"), 12);  // stops early: digits so far
    EXPECT_EQ(TextToInt("-12AB"), 12); // ... without the sign
    EXPECT_EQ(TextToInt("AB"), 0);
    EXPECT_EQ(TextToInt("\t7"), 0); // a tab is not skipped
    EXPECT_EQ(TextToInt(""), 0);
    EXPECT_EQ(TextToInt("-"), 0);
    EXPECT_EQ(TextToInt(nullptr), 0);
    EXPECT_EQ(TextToInt("$1F"), 31);
    EXPECT_EQ(TextToInt("$ff"), 255);
    EXPECT_EQ(TextToInt("$FFFFFFFF"), -1);
    EXPECT_EQ(TextToInt("2147483647"), 2147483647);
    EXPECT_EQ(TextToInt("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(TextToInt("4294967295"), 429496729); // a value past 214748364 takes no digit
    EXPECT_EQ(TextToInt("-4294967295"), 429496729);
}

TEST(NumberText, StrictWholeNumbersOfTheNumberEdits) {
    struct Case {
        const char* text;
        bool ok;
        int32_t value;
    } cases[] = {
        {"12", true, 12},
        {"  -7", true, -7},
        {"+5", true, 5},
        {"$1F", true, 31},
        {"-$10", true, -16},
        {"$FFFFFFFF", true, -1},
        {"2147483647", true, 2147483647},
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
    for (const Case& c : cases) {
        int32_t value = 4242;
        EXPECT_EQ(StrictTextToInt(c.text, value), c.ok) << c.text;
        EXPECT_EQ(value, c.ok ? c.value : 4242) << c.text;
    }
}

TEST(NumberText, ReadsSinglesUpToTheFirstUnfittingCharacter) {
    EXPECT_FLOAT_EQ(TextToSingle("261.63"), 261.63f);
    EXPECT_FLOAT_EQ(TextToSingle("-0.5"), -0.5f);
    EXPECT_FLOAT_EQ(TextToSingle("+2"), 2.0f);
    EXPECT_FLOAT_EQ(TextToSingle("1e3"), 1000.0f);
    EXPECT_FLOAT_EQ(TextToSingle("1.5E-1"), 0.15f);
    EXPECT_FLOAT_EQ(TextToSingle("3.25xyz"), 3.25f);
    EXPECT_FLOAT_EQ(TextToSingle("7e"), 7.0f);
    EXPECT_FLOAT_EQ(TextToSingle(".5"), 0.5f);
    EXPECT_EQ(TextToSingle("abc"), 0.0f);
    EXPECT_EQ(TextToSingle(""), 0.0f);
    EXPECT_EQ(TextToSingle("1e99"), std::numeric_limits<float>::infinity());
    EXPECT_EQ(TextToSingle("1e-99"), 0.0f);
}

TEST(WordSplitter, SplitsInPlaceAndKeepsTheDelimiterRun) {
    char text[] = "A, B";
    WordSplitter ws;
    char* w = NextToken(ws, text, " ,");
    EXPECT_STREQ(w, "A");
    EXPECT_EQ(ws.Delimiters, ", ");
    EXPECT_EQ(ws.Resume, text + 3);
    w = NextToken(ws, nullptr, " ,");
    EXPECT_STREQ(w, "B");
    EXPECT_EQ(ws.Delimiters, "");
    EXPECT_EQ(ws.Resume, nullptr);
    EXPECT_EQ(NextToken(ws, nullptr, " ,"), nullptr);
}

TEST(WordSplitter, EmptyWordsAndTrailingRuns) {
    char text[] = ";;x;;";
    WordSplitter ws;
    char* w = NextToken(ws, text, ";");
    EXPECT_STREQ(w, "");
    EXPECT_EQ(ws.Delimiters, ";;");
    w = NextToken(ws, nullptr, ";");
    EXPECT_STREQ(w, "x");
    EXPECT_EQ(ws.Delimiters, ";;");
    EXPECT_EQ(ws.Resume, nullptr); // the run reached the end of the text
    EXPECT_EQ(NextToken(ws, nullptr, ";"), nullptr);
    EXPECT_EQ(ws.Delimiters, "");
    char empty[] = "";
    EXPECT_STREQ(NextToken(ws, empty, ";"), "");
    EXPECT_EQ(ws.Resume, nullptr);
}

TEST(Text, RoutinesOnZeroTerminatedTexts) {
    EXPECT_EQ(TextLength(nullptr), 0u);
    EXPECT_EQ(TextLength("abc"), 3u);
    char s[] = "aBz{`\xe4";
    TextUpper(s);
    EXPECT_STREQ(s, "ABZ{`\xe4");
    char* copy = TextDuplicate("abcdef", 3);
    EXPECT_STREQ(copy, "abc");
    FreeBlock(copy);
    EXPECT_EQ(copy, nullptr);
}

TEST(Text, LineOfAPosition) {
    const struct {
        const char* Text;
        std::ptrdiff_t Pos;
        int Line;
    } cases[] = {
        {"abc", 0, 1},       {"abc", 99, 1},      {"a\nb", 1, 1},    {"a\nb", 2, 2},
        {"a\r\nb", 2, 1},    {"a\r\nb", 3, 2},    {"a\rb\nc", 4, 3}, {"\n\n\n", 3, 4},
        {"\r\n\r\nx", 4, 3}, {"a\nb\0\nc", 6, 2}, {nullptr, 5, 1},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LineOfPosition(c.Text, c.Pos), c.Line) << c.Pos;
    }
}

TEST(Blocks, SizeZeroGivesNull) {
    char* p = reinterpret_cast<char*>(1);
    AllocBlock(p, 0);
    EXPECT_EQ(p, nullptr);
    FreeBlock(p); // harmless
    AllocBlock(p, 16);
    EXPECT_NE(p, nullptr);
    FreeBlock(p);
    EXPECT_EQ(p, nullptr);
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

TEST(FatalErrorDeathTest, ShowsTheMessageAndExitsWithFailure) {
    EXPECT_EXIT(FatalError("FPU is not supported!"), ::testing::ExitedWithCode(1),
                "Error!: FPU is not supported!");
}

TEST(FatalErrorDeathTest, UsesTheInstalledDisplay) {
    EXPECT_EXIT(
        {
            SetFatalErrorDisplay([](const char* m) { fprintf(stderr, "shown <%s>\n", m); });
            FatalError("boom");
        },
        ::testing::ExitedWithCode(1), "shown <boom>");
}

} // namespace
