#include "audio/effects.h"
#include "audio/mixer.h"
#include "mixer_model.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <random>

using namespace kellix;

namespace {

constexpr int32_t kRingBytes = 176400;

struct MixerFixture : ::testing::Test {
    SoundBuffer* mixer = nullptr;
    std::vector<int16_t> ring = std::vector<int16_t>(kRingBytes / 2, 0);
    void SetUp() override {
        mixer = CreateSoundBuffer(2, 44100, 16);
        SetStereoDelay(0, 0, 0, 0);
    }
    void TearDown() override {
        FreeSoundBuffer(mixer);
        SetStartupEffects();
    }
    void Mix(int32_t n) { MixBlock(mixer, reinterpret_cast<uint8_t*>(ring.data()), n); }
    int16_t Left(int32_t frame) const { return ring[2 * frame]; }
    int16_t Right(int32_t frame) const { return ring[2 * frame + 1]; }
};

TEST(PitchToStep, FollowsThePitchRule) {
    EXPECT_EQ(PitchToStep(0.0f), 11025);
    EXPECT_EQ(PitchToStep(12.0f), 22050);
    EXPECT_EQ(PitchToStep(24.0f), 44100);
    EXPECT_EQ(PitchToStep(36.0f), 88200);
    EXPECT_EQ(PitchToStep(23.0f), 41625);
}

TEST(PitchToStep, ClampsInsteadOfDividingByZeroOrOverflowing) {
    EXPECT_EQ(PitchToStep(-1000.0f), 1);
    EXPECT_EQ(PitchToStep(1000.0f), 2147483647);
    EXPECT_EQ(PitchToStep(std::numeric_limits<float>::infinity()), 2147483647);
    EXPECT_EQ(PitchToStep(-std::numeric_limits<float>::infinity()), 1);
    EXPECT_EQ(PitchToStep(std::numeric_limits<float>::quiet_NaN()), 1);
}

TEST(CreateSoundBuffer, SizesOneSecondAndRejectsOtherFormats) {
    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->Size, 176400);
    EXPECT_EQ(m->WritePos, 0);
    EXPECT_EQ(m->Total, 0);
    EXPECT_EQ(m->First, nullptr);
    // At this rate the vector mixer computes the weights instead of looking them up; the model
    // comparison below checks the result bit for bit.
    EXPECT_TRUE(m->Weights.Computable);
    EXPECT_EQ(m->WeightTable[11025], 16384);
    EXPECT_EQ(m->WeightTable[44099], 65534);
    FreeSoundBuffer(m);
    EXPECT_EQ(CreateSoundBuffer(1, 44100, 16), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 44100, 8), nullptr);
    EXPECT_EQ(CreateSoundBuffer(2, 70000, 16), nullptr);
}

TEST_F(MixerFixture, VoiceStartingInsideTheBlockIsSilentBeforeItsStart) {
    auto s = ConstantSample(1, 20000, 32767);
    TEnvelope env{0, 100000, 0};
    AddVoice(mixer, 100, 44100, 32512, 128, &env, s.get());
    Mix(11025);
    for (int f = 0; f < 100; ++f) {
        ASSERT_EQ(Left(f), 0) << f;
    }
    // At Step 44100 the weight is 0: the value is (32767 x 65535) >> 16 = 32766, at level 32512.
    EXPECT_EQ(Left(100), (32766 * 32512) >> 16);
    EXPECT_EQ(Right(100), (32766 * 32512) >> 16);
}

TEST_F(MixerFixture, AttackStartsAtTheVoicesFirstFrame) {
    auto s = ConstantSample(1, 20000, 32767);
    TEnvelope env{441, 0, 441};
    AddVoice(mixer, 100, 44100, 32512, 128, &env, s.get());
    Mix(11025);
    // Mono frames use the level before the envelope step: 0, then ceil(j x 32512 / 441) while
    // rising, then 32512 - ceil(m x 32512 / 441) while falling.
    for (int j = 0; j <= 441; ++j) {
        int32_t level = static_cast<int32_t>((int64_t{j} * 32512 + 440) / 441);
        ASSERT_EQ(Left(100 + j), (32766 * level) >> 16) << j;
    }
    for (int m = 0; m <= 441; ++m) {
        int32_t level = 32512 - static_cast<int32_t>((int64_t{m} * 32512 + 440) / 441);
        ASSERT_EQ(Left(100 + 441 + m), (32766 * level) >> 16) << m;
    }
    for (int f = 100 + 883; f < 11025; ++f) {
        ASSERT_EQ(Left(f), 0) << f;
    }
    EXPECT_EQ(VoiceCount(mixer), 1); // a silent envelope does not end the voice
}

TEST_F(MixerFixture, MonoVoiceSoundsForItsDataLessTwoFramesAndEndsWithIt) {
    auto s = ConstantSample(1, 44100, 1000);
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, s.get());
    Mix(11025);
    Mix(11025);
    Mix(11025);
    EXPECT_EQ(VoiceCount(mixer), 1);
    // 44098 frames sound: the last is frame 44097, written at ring frame 44097 as well.
    Mix(11025);
    int32_t v = (((1000 * 65535) >> 16) * 32767) >> 16;
    EXPECT_EQ(Left(44097), v);
    EXPECT_EQ(Left(44098), 0);
    EXPECT_EQ(Left(44099), 0);
    // 44100 frames have elapsed at the end of this block: the voice is gone.
    EXPECT_EQ(VoiceCount(mixer), 0);
}

TEST_F(MixerFixture, StepChangesTheReadSpeed) {
    // A ramp 0, 100, 200, ... read at half and double speed.
    std::vector<int16_t> ramp(1000);
    for (int i = 0; i < 1000; ++i) {
        ramp[i] = static_cast<int16_t>(i * 10);
    }
    auto s = MakeSample(1, ramp);
    AddVoice(mixer, 0, 22050, 32767, 128, nullptr, s.get());
    Mix(64);
    // Step 22050: output frame j plays source position 1 + j / 2.
    auto value = [](int32_t s0, int32_t s1, int32_t w) {
        return static_cast<int16_t>(((s0 * w) >> 16) + ((s1 * (65535 - w)) >> 16));
    };
    int32_t half = static_cast<int32_t>(22050.0L / 44100 * 65536);
    EXPECT_EQ(Left(0), (value(0, 10, 0) * 32767) >> 16);
    EXPECT_EQ(Left(1), (value(10, 20, half) * 32767) >> 16);
    EXPECT_EQ(Left(2), (value(10, 20, 0) * 32767) >> 16);
    ClearVoices(mixer);
    AddVoice(mixer, mixer->Total, 88200, 32767, 128, nullptr, s.get());
    Mix(64);
    // Step 88200: frame j plays source position 1 + 2j.
    EXPECT_EQ(Left(64 + 3), (value(60, 70, 0) * 32767) >> 16);
}

TEST_F(MixerFixture, PanSplitsStereoSamplesButNotMono) {
    auto stereo = ConstantSample(2, 2000, 20000);
    auto mono = ConstantSample(1, 2000, 20000);
    AddVoice(mixer, 0, 44100, 32767, 0, nullptr, stereo.get());
    Mix(100);
    EXPECT_EQ(Left(10), 0);
    EXPECT_GT(Right(10), 0);
    ClearVoices(mixer);
    AddVoice(mixer, mixer->Total, 44100, 32767, 255, nullptr, stereo.get());
    Mix(100);
    EXPECT_GT(Left(110), 0);
    EXPECT_EQ(Right(110), 0);
    ClearVoices(mixer);
    AddVoice(mixer, mixer->Total, 44100, 32767, 128, nullptr, stereo.get());
    Mix(100);
    EXPECT_EQ(Left(210), Right(210));
    EXPECT_GT(Left(210), 0);
    ClearVoices(mixer);
    AddVoice(mixer, mixer->Total, 44100, 32767, 0, nullptr, mono.get());
    Mix(100);
    EXPECT_EQ(Left(310), Right(310));
    EXPECT_GT(Left(310), 0);
}

TEST_F(MixerFixture, SumsSaturateInsteadOfWrapping) {
    auto up = ConstantSample(1, 2000, 32767);
    auto down = ConstantSample(1, 2000, -32768);
    for (int i = 0; i < 3; ++i) {
        AddVoice(mixer, 0, 44100, 32512, 128, nullptr, up.get());
    }
    Mix(100);
    // 3 x 16254 saturates at 32767; the delay stage then limits to 32766.
    EXPECT_EQ(Left(50), 32766);
    ClearVoices(mixer);
    for (int i = 0; i < 3; ++i) {
        AddVoice(mixer, mixer->Total, 44100, 32512, 128, nullptr, down.get());
    }
    Mix(100);
    EXPECT_EQ(Left(150), -32767);
}

TEST_F(MixerFixture, ClearVoicesLeavesOnlyTheDelayTail) {
    ClearVoices(mixer); // harmless on an empty mixer
    SetStereoDelay(16384, 16384, 10, 10);
    auto s = ConstantSample(1, 2000, 20000);
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, s.get());
    Mix(5);
    ClearVoices(mixer);
    EXPECT_EQ(mixer->First, nullptr);
    EXPECT_EQ(mixer->Last, nullptr);
    Mix(20);
    // Frames 5..9 are silence, 10..14 echo the first five frames at half level.
    EXPECT_EQ(Left(7), 0);
    EXPECT_NE(Left(12), 0);
}

TEST_F(MixerFixture, OutOfRangeVoiceParametersAreClamped) {
    auto s = ConstantSample(1, 200, 1000);
    TEnvelope bad{-5, -5, -5};
    AddVoice(mixer, 0, 0, 99999, 999, &bad, s.get());
    ASSERT_NE(mixer->First, nullptr);
    EXPECT_EQ(mixer->First->Step, 1);
    EXPECT_EQ(mixer->First->Peak, 32767);
    EXPECT_EQ(mixer->First->Pan, 255);
    EXPECT_EQ(mixer->First->Env.Attack, 0);
    EXPECT_EQ(mixer->First->Env.Cont, 0);
    EXPECT_EQ(mixer->First->Env.Ende, 0);
    AddVoice(mixer, 0, 44100, -5, -5, nullptr, s.get());
    EXPECT_EQ(mixer->Last->Peak, 0);
    EXPECT_EQ(mixer->Last->Pan, 0);
}

TEST_F(MixerFixture, HugeEnvelopesDoNotOverflow) {
    // Attack + Cont and Attack + Cont + Ende pass the 32-bit range.
    auto s = ConstantSample(2, 3000, 1000);
    TEnvelope huge{1500, 2147483647, 2147483647};
    AddVoice(mixer, 0, 44100, 32767, 128, &huge, s.get());
    AddVoice(mixer, 0, 44100, 32767, 128, &huge, s.get());
    Mix(2000);
    // Both voices hold their peak after frame 1500: 2 x ((999 x 32767) >> 16).
    EXPECT_EQ(Left(1800), 2 * ((((1000 * 65535) >> 16) * 32767) >> 16));
}

TEST_F(MixerFixture, VoicesWithoutUsableSamplesNeverReadOutsideTheirData) {
    auto one = ConstantSample(1, 1, 1000);
    auto empty = MakeSample(1, {});
    auto odd = ConstantSample(3, 100, 1000);
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, one.get());
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, empty.get());
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, odd.get());
    AddVoice(mixer, 0, 44100, 32767, 128, nullptr, nullptr);
    Mix(1000);
    for (int f = 0; f < 1000; ++f) {
        ASSERT_EQ(Left(f), 0);
    }
    EXPECT_EQ(VoiceCount(mixer), 0);
}

TEST_F(MixerFixture, VeryLowPitchStaysInsideTheData) {
    // At Step 19 the rate 44100 / 19 rounded to single precision makes the sounding length of
    // a 20000-frame sample (46416412 output frames) reach one frame past the data; the reads
    // must still stop at its end.
    auto s = ConstantSample(1, 20000, 1000);
    TEnvelope hold{0, 2147483647, 0};
    AddVoice(mixer, -(46416412 - 20000), 19, 32767, 128, &hold, s.get());
    for (int i = 0; i < 4; ++i) {
        Mix(44100);
        if (i == 0) {
            EXPECT_NE(Left(0), 0);
        }
    }
    EXPECT_EQ(Left(44099), 0);
}

TEST_F(MixerFixture, ClockAndWritePositionAdvance) {
    Mix(11025);
    EXPECT_EQ(mixer->WritePos, 44100);
    EXPECT_EQ(mixer->Total, 11025);
    Mix(44100);
    EXPECT_EQ(mixer->WritePos, 44100);
    Mix(33075);
    EXPECT_EQ(mixer->WritePos, 0);
    EXPECT_EQ(mixer->Total, 88200);
}

TEST_F(MixerFixture, ClockIsSixtyFourBits) {
    mixer->Total = int64_t{3} << 31; // past 13.5 hours of live output
    auto s = ConstantSample(1, 2000, 1000);
    AddVoice(mixer, mixer->Total + 10, 44100, 32767, 128, nullptr, s.get());
    Mix(100);
    EXPECT_EQ(Left(9), 0);
    EXPECT_NE(Left(10), 0);
}

// Random voices, blocks and delays against the literal model.
TEST(MixerModel, MatchesTheLiteralModelBitForBit) {
    std::mt19937 rng(12345);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    std::vector<TestSample> samples;
    for (int i = 0; i < 12; ++i) {
        uint8_t format = static_cast<uint8_t>(uni(1, 2));
        int frames = uni(0, 6) == 0 ? uni(0, 3) : uni(2, 6000);
        std::vector<int16_t> data(static_cast<std::size_t>(frames) * format);
        int kind = uni(0, 2);
        for (std::size_t j = 0; j < data.size(); ++j) {
            data[j] = kind == 0   ? static_cast<int16_t>(uni(-32768, 32767))
                      : kind == 1 ? static_cast<int16_t>(j % 2 ? 32767 : -32768)
                                  : static_cast<int16_t>(20000 * std::sin(j * 0.05));
        }
        samples.push_back(MakeSample(format, data));
    }
    for (int round = 0; round < 10; ++round) {
        // Short delays and gains beyond 16 bits take the frame-by-frame path of the delay.
        auto decay = [&] { return uni(0, 3) == 0 ? uni(-100000, 100000) : uni(0, 40000); };
        auto delayFrames = [&] { return uni(0, 2) == 0 ? uni(0, 9) : uni(0, 44099); };
        model::Delay delay{decay(), decay(), delayFrames(), delayFrames()};
        SetStereoDelay(delay.decayL, delay.decayR, delay.delayL, delay.delayR);
        SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
        model::Mixer ref;
        std::vector<int16_t> ring(kRingBytes / 2), refRing(kRingBytes / 2);
        for (int block = 0; block < 14; ++block) {
            int voices = uni(0, 5);
            for (int v = 0; v < voices; ++v) {
                const SampleBlock* s = samples[static_cast<std::size_t>(uni(0, 11))].get();
                int64_t start = mixer->Total + uni(-3000, 9000);
                int32_t step = uni(0, 3) == 0 ? uni(1, 3000) : uni(8000, 200000);
                int32_t peak = uni(0, 4) == 0 ? 32767 : uni(0, 32767);
                int32_t pan = uni(0, 255);
                TEnvelope env{uni(0, 3) ? uni(0, 4000) : 0, uni(0, 3) ? uni(0, 4000) : 0,
                              uni(0, 3) ? uni(0, 4000) : 1};
                bool noEnv = uni(0, 5) == 0;
                AddVoice(mixer, start, step, peak, pan, noEnv ? nullptr : &env, s);
                TEnvelope used = noEnv ? TEnvelope{0, 268435455, 0} : env;
                ref.voices.push_back({s, step, (ref.total - start) * 4, peak, pan, used});
            }
            int n = uni(0, 3) == 0 ? 11025 : uni(1, 20000);
            MixBlock(mixer, reinterpret_cast<uint8_t*>(ring.data()), n);
            model::MixBlock(ref, refRing.data(), n, delay);
            ASSERT_EQ(ring, refRing) << "round " << round << " block " << block;
            ASSERT_EQ(VoiceCount(mixer), static_cast<int32_t>(ref.voices.size()));
            ASSERT_EQ(std::memcmp(mixer->EchoBuffer, ref.echo.data(), kRingBytes), 0);
        }
        FreeSoundBuffer(mixer);
    }
    SetStartupEffects();
}

} // namespace
