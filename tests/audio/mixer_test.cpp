#include "audio/effects.h"
#include "audio/mix_kernels.h"
#include "audio/mixer.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

using namespace kellix;

namespace {

// A sample value at full scale after the interpolation (weight 0 takes 65535 / 65536 of the
// next frame) and the product with a level, both cut to whole numbers.
constexpr int32_t Next(int32_t s) {
    return (s * 65535) >> 16;
}
constexpr int32_t Mix(int32_t value, int32_t level) {
    return (value * level) >> 16;
}

TEST(PitchToStep, FollowsThePitchRuleAndClamps) {
    const float inf = std::numeric_limits<float>::infinity();
    const std::pair<float, int32_t> cases[] = {
        {0.0f, 11025}, {12.0f, 22050}, {24.0f, 44100},     {36.0f, 88200},        {23.0f, 41625},
        {-1000.0f, 1}, {-inf, 1},      {std::nanf(""), 1}, {1000.0f, 2147483647}, {inf, 2147483647},
    };
    for (const auto& [pitch, step] : cases) {
        EXPECT_EQ(PitchToStep(pitch), step) << pitch;
    }
}

TEST(CreateSoundBuffer, RejectsAllButStereo16BitAtUpTo65536FramesASecond) {
    EXPECT_EQ(CreateSoundBuffer(1, 44100, 16), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 44100, 8), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 65537, 16), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 0, 16), nullptr);
}

// Mixes count voices of one sample in quarter-second blocks with the delay's feedback off, so
// that only its clamp to -32767..32766 applies. sample: format, first value, rise per value,
// frames; voice: clock, start after it, step, peak, pan. Checks are ring frame, left, right.
void ExpectFrames(const char* what, std::array<int32_t, 4> sample, int32_t count,
                  std::array<int64_t, 5> voice, TEnvelope env, int32_t blocks,
                  std::vector<std::array<int32_t, 3>> checks, int32_t voicesLeft) {
    const auto [format, first, rise, frames] = sample;
    std::vector<int16_t> data(static_cast<std::size_t>(frames * format));
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<int16_t>(first + rise * static_cast<int32_t>(i));
    }
    TestSample s = MakeSample(static_cast<uint8_t>(format), data);
    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    m->Total = voice[0];
    for (int32_t v = 0; v < count; ++v) {
        AddVoice(m, voice[0] + voice[1], static_cast<int32_t>(voice[2]),
                 static_cast<int32_t>(voice[3]), static_cast<int32_t>(voice[4]), &env, s.get());
    }
    SetStereoDelay(0, 0, 0, 0);
    std::vector<int16_t> ring(88200);
    for (int32_t b = 0; b < blocks; ++b) {
        MixBlock(m, reinterpret_cast<uint8_t*>(ring.data()), 11025);
    }
    SetStartupEffects();
    for (const auto& [frame, left, right] : checks) {
        EXPECT_EQ(ring[2 * frame], left) << what << " frame " << frame;
        EXPECT_EQ(ring[2 * frame + 1], right) << what << " frame " << frame;
    }
    EXPECT_EQ(VoiceCount(m), voicesLeft) << what;
    FreeSoundBuffer(m);
}

TEST(MixBlock, HandWorkedFrames) {
    const int32_t max = 2147483647;
    const TEnvelope full{0, max, 0};
    ExpectFrames("start inside the block", {1, 32767, 0, 20000}, 1, {0, 100, 44100, 32512, 128},
                 {0, 100000, 0}, 1, {{99, 0, 0}, {100, 16255, 16255}}, 1);
    // Mono frames use the level before the step: ceil(j x 32512 / 441) rising, the same down
    // falling; a silent envelope does not end the voice.
    ExpectFrames("attack and release", {1, 32767, 0, 20000}, 1, {0, 100, 44100, 32512, 128},
                 {441, 0, 441}, 1,
                 {{100, 0, 0},
                  {101, Mix(32766, 74), Mix(32766, 74)},
                  {320, Mix(32766, 16220), Mix(32766, 16220)},
                  {541, 16255, 16255},
                  {542, Mix(32766, 32438), Mix(32766, 32438)},
                  {982, 0, 0}},
                 1);
    // 44098 frames sound; the voice ends when 44100 frames have passed.
    ExpectFrames("mono length", {1, 1000, 0, 44100}, 1, {0, 0, 44100, 32767, 128}, full, 4,
                 {{44097, 499, 499}, {44098, 0, 0}}, 0);
    // Frame j reads source frames 1 + j / 2 (weights 0, 32768, 0).
    ExpectFrames("half speed", {1, 0, 10, 1000}, 1, {0, 0, 22050, 32767, 128}, full, 1,
                 {{0, 4, 4}, {1, Mix(5 + 9, 32767), 6}, {2, Mix(Next(20), 32767), 9}}, 0);
    // Pan splits stereo samples: (level x pan) >> 7 on the left below 128, with 255 - pan on
    // the right above it; mono samples ignore it.
    ExpectFrames("pan left", {2, 20000, 0, 2000}, 1, {0, 0, 44100, 32767, 64}, full, 1,
                 {{10, Mix(19999, (32767 * 64) >> 7), 9999}}, 0);
    ExpectFrames("pan right", {2, 20000, 0, 2000}, 1, {0, 0, 44100, 32767, 192}, full, 1,
                 {{10, 9999, Mix(19999, (32767 * 63) >> 7)}}, 0);
    ExpectFrames("mono ignores pan", {1, 20000, 0, 2000}, 1, {0, 0, 44100, 32767, 0}, full, 1,
                 {{10, 9999, 9999}}, 0);
    // Sums saturate instead of wrapping.
    ExpectFrames("saturation up", {1, 32767, 0, 2000}, 3, {0, 0, 44100, 32512, 128}, full, 1,
                 {{50, 32766, 32766}}, 0);
    // Attack + Cont and Attack + Cont + Ende pass the 32-bit range.
    ExpectFrames("huge envelope", {2, 1000, 0, 3000}, 2, {0, 0, 44100, 32767, 128},
                 {1500, max, max}, 1, {{1800, 2 * 499, 2 * 499}}, 0);
    // Past 13.5 hours of live output.
    ExpectFrames("64-bit clock", {1, 1000, 0, 2000}, 1, {int64_t{3} << 31, 10, 44100, 32767, 128},
                 full, 1, {{9, 0, 0}, {10, 499, 499}}, 0);
}

TEST(AddVoice, ClampsItsParametersAndClearVoicesEmptiesTheMixer) {
    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    TestSample s = ConstantSample(1, 200, 1000);
    TEnvelope bad{-5, -6, -7};
    AddVoice(m, 0, 0, 99999, 999, &bad, s.get());
    AddVoice(m, 0, -3, -5, -5, nullptr, s.get());
    const Voice& a = *m->First;
    EXPECT_EQ((std::array{a.Step, a.Peak, a.Pan, a.Env.Attack, a.Env.Cont, a.Env.Ende}),
              (std::array{1, 32767, 255, 0, 0, 0}));
    EXPECT_EQ((std::array{m->Last->Step, m->Last->Peak, m->Last->Pan}), (std::array{1, 0, 0}));
    EXPECT_TRUE(MixerUsesSample(m, s.get()));
    ClearVoices(m);
    EXPECT_EQ(m->First, nullptr);
    EXPECT_EQ(m->Last, nullptr);
    EXPECT_FALSE(MixerUsesSample(m, s.get()));
    FreeSoundBuffer(m);
}

TEST(MixBlock, VeryLowPitchStaysInsideTheData) {
    // At Step 19 the rate 44100 / 19 rounded to single precision makes the sounding length of
    // a 20000-frame sample (46416412 output frames) reach one frame past the data; the reads
    // of every set of mixing routines must still stop at its end.
    TestSample s = ConstantSample(1, 20000, 1000);
    const TEnvelope hold{0, 2147483647, 0};
    std::vector<int16_t> ring(88200);
    SetStereoDelay(0, 0, 0, 0);
    for (MixTier tier : {MixTier::Portable, MixTier::Avx2, MixTier::Avx512}) {
        SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
        AddVoice(m, -(46416412 - 20000), 19, 32767, 128, &hold, s.get());
        for (int i = 0; i < 2 && SetMixTier(tier); ++i) {
            MixBlock(m, reinterpret_cast<uint8_t*>(ring.data()), 44100);
            EXPECT_EQ(ring[0] != 0, i == 0) << static_cast<int>(tier);
        }
        FreeSoundBuffer(m);
    }
    SetMixTier(BestMixTier());
    SetStartupEffects();
}

} // namespace
