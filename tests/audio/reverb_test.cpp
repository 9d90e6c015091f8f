#include "audio/reverb.h"
#include "reverb_model.h"
#include "test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

using namespace kellix;

namespace {

constexpr int32_t kBlock = 11025;
constexpr int32_t kRing = 44100;
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin = std::numeric_limits<int32_t>::min();

struct Case {
    const char* name;
    ReverbSettings settings;
};

// The start-up and window values, each filter side, a resonant filter, the bands at which
// K = 1, taps without scatter or spacing, and values far out of range.
const Case kCases[] = {
    {"start-up", {4000, 20000, 10400, 256, 256}}, {"window", {20000, 20000, 10400, 256, 256}},
    {"low-pass", {20000, 20000, 10000, 40, 256}}, {"high-pass", {4000, 20000, 3000, 400, 256}},
    {"resonant", {4000, 20000, 10000, 1, 1}},     {"band 128", {3000, 20000, 7000, 128, 200}},
    {"band 385", {3000, 20000, 7000, 385, 256}},  {"no scatter", {0, 20000, 10000, 256, 256}},
    {"no spacing", {0, 20000, 0, 256, 256}},      {"huge", {kMax, 0, kMax, kMax, kMax}},
    {"negative", {kMin, 0, kMin, kMin, kMin}},
};

// 1.5 s of sound (a tone, noise bursts and full-scale square waves, different on each side),
// then silence: stereo frames, left first.
std::vector<int16_t> TestInput(int32_t frames) {
    std::mt19937 noise{2511};
    std::vector<int16_t> v(2 * static_cast<std::size_t>(frames));
    for (int32_t i = 0; i < std::min(frames, 66150); ++i) {
        const int32_t tone = static_cast<int32_t>(12000 * std::sin(i * 0.0314));
        const int32_t burst = i % 9000 < 900 ? static_cast<int16_t>(noise()) / 2 : 0;
        const int32_t square = i % 20000 < 3000 ? (i / 50 % 2 ? 32767 : -32768) : 0;
        v[2 * i] = static_cast<int16_t>(std::clamp(tone + burst + square, -32768, 32767));
        v[2 * i + 1] = static_cast<int16_t>(std::clamp(tone / 2 - burst, -32768, 32767));
    }
    return v;
}

std::vector<int16_t> ModelOutput(const ReverbSettings& s, std::vector<int16_t> v) {
    model::Reverb r(s.Amplitude, s.Step, s.Band, s.Cutoff);
    for (std::size_t i = 0; i < v.size(); i += 2) {
        r.Frame(v[i], v[i + 1]);
    }
    return v;
}

// The input played through a ring of ringFrames frames from frame start on, in blocks of the
// given sizes (repeated), as a mixer does: settings handed over before every block.
std::vector<int16_t> StageOutput(const ReverbSettings& s, const std::vector<int16_t>& in,
                                 int32_t ringFrames, int32_t start,
                                 const std::vector<int32_t>& blocks) {
    ReverbState* state = CreateReverb();
    std::vector<int16_t> ring(2 * static_cast<std::size_t>(ringFrames)), out;
    const auto frames = static_cast<int32_t>(in.size() / 2);
    int32_t pos = start;
    for (int32_t done = 0, b = 0; done < frames; ++b) {
        const int32_t n = std::min(blocks[b % blocks.size()], frames - done);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t f = (pos + i) % ringFrames;
            ring[2 * f] = in[2 * (done + i)];
            ring[2 * f + 1] = in[2 * (done + i) + 1];
        }
        SetUpReverb(*state, s, true);
        ApplyReverb(*state, reinterpret_cast<uint8_t*>(ring.data()), ringFrames, pos, n);
        for (int32_t i = 0; i < n; ++i) {
            const int32_t f = (pos + i) % ringFrames;
            out.push_back(ring[2 * f]);
            out.push_back(ring[2 * f + 1]);
        }
        pos = (pos + n) % ringFrames;
        done += n;
    }
    FreeReverb(state);
    return out;
}

// The first frame at which two runs differ, -1 when they agree.
int64_t FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    if (a.size() != b.size()) {
        return 0;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i]) {
            return static_cast<int64_t>(i / 2);
        }
    }
    return -1;
}

// Every setting matches the model through the ring in quarter-second blocks, and in one more
// way by turns: from the ring's edges or in uneven blocks (settings handed over before each
// block, as a mixer does).
TEST(Reverb, BlocksThroughTheRingMatchTheModel) {
    const std::vector<int16_t> in = TestInput(3 * 44100);
    const std::pair<int32_t, std::vector<int32_t>> runs[] = {{30000, {kBlock}},
                                                             {0, {kBlock}},
                                                             {1, {kBlock}},
                                                             {44099, {kBlock}},
                                                             {17, {1, 2, 441, kBlock, kRing, 7}}};
    for (std::size_t i = 0; i < std::size(kCases); ++i) {
        const Case& c = kCases[i];
        const std::vector<int16_t> expected = ModelOutput(c.settings, in);
        EXPECT_NE(FirstDifference(expected, in), -1) << c.name << " is not heard";
        for (const auto& [start, blocks] : {runs[0], runs[1 + i % 4]}) {
            EXPECT_EQ(FirstDifference(StageOutput(c.settings, in, kRing, start, blocks), expected),
                      -1)
                << c.name << " from ring frame " << start;
        }
    }
    // The model's sound for the start-up settings, kept so that neither side drifts unseen.
    const std::vector<int16_t> startUp = ModelOutput(kCases[0].settings, in);
    EXPECT_EQ(
        kellix::test::Checksum({reinterpret_cast<const char*>(startUp.data()), 2 * startUp.size()}),
        0x7632390125a002e7ull);
}

// A click of 20000 on both sides with taps exactly Step / 10 apart: the memory keeps
// 20000 x floor(2^24 sqrt(3/4)) / 2^24 = 17321; the four taps of group 0 (two a side, positive,
// weight 2048) bring it back after 1000 frames; 1000 frames later group 1 (negative, weight
// round(2048 exp(-beta 1000)) = 1435) and the first feedback (1420) through group 0 follow.
TEST(Reverb, ClickComesBackAtTheGroupPositions) {
    std::vector<int16_t> in(2 * 2001);
    in[0] = in[1] = 20000;
    const std::vector<int16_t> out = StageOutput({0, 20000, 10000, 256, 256}, in, 2001, 0, {2001});
    for (int32_t f = 1; f < 2001; ++f) {
        const int16_t expected = f == 1000 ? 8661 : f == 2000 ? -5358 : 0;
        ASSERT_EQ(out[2 * f], expected) << f;
        ASSERT_EQ(out[2 * f + 1], expected) << f;
    }
}

// Off, or given nothing to work on, the stage leaves the bytes alone; switched off and on
// again, it sounds as if it had just been created.
TEST(Reverb, OffLeavesTheBytesAloneAndOnStartsFromSilence) {
    const ReverbSettings settings{4000, 20000, 10000, 256, 256};
    const std::vector<int16_t> in = TestInput(kRing);
    std::vector<int16_t> ring = in;
    auto* bytes = reinterpret_cast<uint8_t*>(ring.data());
    ReverbState* s = CreateReverb();
    ApplyReverb(*s, bytes, kRing, 0, kRing);
    SetUpReverb(*s, settings, true);
    ApplyReverb(*s, bytes, kRing, 5, 0);
    ApplyReverb(*s, bytes, 0, 0, kRing);
    ApplyReverb(*s, nullptr, kRing, 0, kRing);
    EXPECT_EQ(FirstDifference(ring, in), -1);
    ApplyReverb(*s, bytes, kRing, 0, kRing);
    SetUpReverb(*s, settings, false);
    std::copy(in.begin(), in.end(), ring.begin());
    ApplyReverb(*s, bytes, kRing, 0, kRing);
    EXPECT_EQ(FirstDifference(ring, in), -1);
    SetUpReverb(*s, settings, true);
    ApplyReverb(*s, bytes, kRing, 0, kRing);
    EXPECT_EQ(FirstDifference(ring, ModelOutput(settings, in)), -1);
    FreeReverb(s);
}

// After full-scale sound the tail fades second by second to exact silence, whatever the
// settings; the resonant filter is fed its own peak frequency.
TEST(Reverb, TailsDieAwayForEverySetting) {
    for (const Case& c : kCases) {
        const int32_t seconds = 14;
        std::vector<int16_t> in(2 * 44100 * seconds);
        for (int32_t i = 0; i < 44100; ++i) {
            const int32_t v = static_cast<int32_t>(32767 * std::sin(i * M_PI / 256));
            in[2 * i] = static_cast<int16_t>(v);
            in[2 * i + 1] = static_cast<int16_t>(i % 100 < 50 ? 32767 : -32768);
        }
        const std::vector<int16_t> out = StageOutput(c.settings, in, kRing, 0, {kBlock});
        double previous = std::numeric_limits<double>::infinity();
        for (int32_t second = 2; second < seconds; ++second) {
            double energy = 0;
            for (int32_t i = 2 * 44100 * second; i < 2 * 44100 * (second + 1); ++i) {
                energy += static_cast<double>(out[i]) * out[i];
            }
            EXPECT_LE(energy, previous) << c.name << " second " << second;
            previous = energy;
        }
        EXPECT_EQ(previous, 0) << c.name;
    }
}

} // namespace
