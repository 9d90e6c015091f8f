#include "support/cpu.h"
#include "support/fatal.h"
#include "support/numtext.h"
#include "support/random.h"
#include "support/text.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <tuple>

using namespace kellix;

namespace {

TEST(Random, SeedOneOneGivesTheKnownSequenceWithinTheModulus) {
    RandomGenerator g;
    RandomSeed(g, 1, 1);
    EXPECT_EQ(RandomNext(g), 139959439);
    EXPECT_EQ(RandomNext(g), -204241641);
    RandomSeed(g, -123456789, 987654321);
    for (int i = 0; i < 100000; ++i) {
        const int32_t v = RandomNext(g);
        ASSERT_TRUE(v >= -2147483646 && v <= 2147483646) << v;
    }
}

TEST(NumberText, WritesUnsignedAndSignedForms) {
    char buf[16];
    EXPECT_EQ(WriteUnsigned(buf, -1), buf + 10);
    EXPECT_STREQ(buf, "4294967295");
    EXPECT_EQ(IntToText(INT32_MIN), "-2147483648");
    WriteUnsigned(WriteSigned(buf, -12), 34); // the returned end is where the next text goes
    EXPECT_STREQ(buf, "-1234");
}

// The lenient rule of scripts and song files, the strict one of the number edits, and reals.
TEST(NumberText, ReadsNumbersByTheirRules) {
    // The lenient rule: the value and how many characters were read (0 when no digit). Blanks
    // are skipped, a tab is not; a number that stops early loses its sign.
    const std::tuple<const char*, int32_t, std::size_t> ints[] = {
        {"  \t7", 0, 0},  {"$FFFFFFFFx", -1, 9},        {"$G", 0, 0},
        {"-12AB", 12, 3}, {"4294967295", 429496729, 9}, {"-2147483648", INT32_MIN, 11},
        {"-", 0, 0}};
    std::size_t read = 99;
    for (auto [text, value, count] : ints) {
        EXPECT_EQ(TextToInt(text, &read), value) << text;
        EXPECT_EQ(read, count) << text;
    }
    EXPECT_EQ(TextToInt(nullptr), 0);
    const std::pair<const char*, int32_t> accepted[] = {
        {"  -7", -7}, {"-$10", -16}, {"$FFFFFFFF", -1}, {"-2147483648", INT32_MIN}};
    int32_t value = 0;
    for (auto [text, expected] : accepted) {
        EXPECT_TRUE(StrictTextToInt(text, value) && value == expected) << text;
    }
    for (const char* text : {"2147483648", "$100000000", "", "-", "$", "12 ", "\t3", "0x10"}) {
        value = 4242;
        EXPECT_FALSE(StrictTextToInt(text, value) || value != 4242) << text;
    }
    const float inf = std::numeric_limits<float>::infinity();
    const std::tuple<const char*, float, std::size_t> reals[] = {
        {"-1.5E-1", -0.15f, 7}, {"3.25xyz", 3.25f, 4}, {"7e", 7.0f, 1},
        {".5", 0.5f, 2},        {"abc", 0.0f, 0},      {"1e99", inf, 4}};
    for (auto [text, real, count] : reals) {
        EXPECT_FLOAT_EQ(TextToSingle(text, &read), real) << text;
        EXPECT_EQ(read, count) << text;
    }
}

// The word splitter and the upper-casing of words are checked through the song reader (its
// table and the slow model of its function bodies).
TEST(Text, LineOfPosition) {
    const std::tuple<const char*, std::ptrdiff_t, int> cases[] = {
        {"abc", 99, 1}, {"a\r\nb", 2, 1}, {"a\rb\nc", 4, 3}, {"a\nb\0\nc", 6, 2}, {nullptr, 5, 1}};
    for (auto [text, pos, line] : cases) {
        EXPECT_EQ(LineOfPosition(text, pos), line) << pos;
    }
}

// The mixer's vector routines are chosen from these bits: wide registers the operating system
// does not save must never be used.
TEST(Processor, WideVectorsNeedTheOperatingSystemsSaving) {
    const uint32_t osAvx = (1u << 27) | (1u << 28); // leaf 1 ECX: OSXSAVE, AVX
    const uint32_t avx2 = 1u << 5, avx512 = (1u << 16) | (1u << 30);
    const std::tuple<uint32_t, uint32_t, uint64_t, uint32_t> cases[] = {
        {osAvx, avx2 | avx512, 0xE7, CPU_AVX2 | CPU_AVX512},
        {osAvx, avx2 | avx512, 0x07, CPU_AVX2}, // upper 512-bit state not saved
        {osAvx, avx2 | avx512, 0x03, 0},        // AVX state not saved
        {1u << 28, avx2 | avx512, 0xE7, 0},     // no OSXSAVE
        {osAvx, avx512, 0xE7, 0},               // AVX-512 without AVX2 is not used
    };
    for (auto [ecx, ebx, xcr0, expected] : cases) {
        EXPECT_EQ(WideFeaturesFromCpuid(ecx, ebx, xcr0), expected) << std::hex << ecx << " " << ebx;
    }
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
