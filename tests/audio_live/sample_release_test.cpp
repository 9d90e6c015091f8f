#include "live_fixture.h"

#include "song/sequencer.h"
#include "song/track.h"

namespace kellix::test {
namespace {

SampleBlock* Square(int32_t frames) {
    return NewSample(kSampleMono, frames, [](int32_t f, int32_t) {
        return static_cast<int16_t>(f % 100 < 50 ? 12000 : -12000);
    });
}

// Without live output nothing outlives a release: the routine runs at once.
TEST(SampleReleaseTest, ReleasesAtOnceWithoutLiveVoices) {
    g_released = 0;
    SetSampleRelease(FreeReleased);
    ReleaseSample(Square(10));
    ReleaseSample(nullptr);
    EXPECT_EQ(g_released.load(), 1);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    SetSampleRelease(nullptr);
}

TEST_F(LiveOutputTest, DroppedInstrumentKeepsSoundingUntilItsVoiceEnds) {
    TTrack song{};
    TInstrumentCode code{};
    NewSong(song, code);
    // Instrument 1 plays a voice of 20000 frames; instrument 0 plays nothing.
    song.Instrument[0].Sample = Square(500);
    song.Instrument[1].Sample = Square(20000);
    song.Instrument[1].Env = {0, 100000, 0};
    {
        std::lock_guard lock(MixLock);
        PreviewNote(LiveMixer(), song, 1, 24, 256, 128);
    }

    // "New" drops every instrument while the voice sounds.
    ResizeInstrumentCode(code, 0);
    ResizeInstruments(song, 0);
    EXPECT_EQ(g_released.load(), 1) << "only the block that no voice plays is released";
    EXPECT_EQ(ReleaseFinishedSamples(), 1);

    // The first fill mixes frames 0..11024 from the held-back block.
    PullServed(4, 4);
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The second fill reaches frame 22050: the voice's data has run out and it is removed.
    PullServed(kQuarterBytes - 4, 4096);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    EXPECT_EQ(g_released.load(), 2);

    // Both quarters play the voice.
    PullServed(2 * kQuarterBytes, 4096);
    for (int q = 1; q <= 2; ++q) {
        const uint8_t* quarter = Stream.data() + q * kQuarterBytes;
        EXPECT_FALSE(
            std::all_of(quarter, quarter + kQuarterBytes, [](uint8_t b) { return b == 0; }))
            << "quarter " << q;
    }
    ResizePatterns(song, 0);
    ResizeTracks(song, 0);
    ResizeTracksIndex(song, 0);
}

TEST_F(LiveOutputTest, ReleaseUnderTheMixingLockAndAtTearDown) {
    SampleBlock* a = Square(44100);
    SampleBlock* b = Square(44100);
    {
        // A caller that already holds the lock, as the regeneration of an instrument does.
        std::lock_guard lock(MixLock);
        AddVoice(LiveMixer(), 0, 44100, 32512, 128, nullptr, a);
        ReleaseSample(a);
        ReleaseSample(b);
    }
    EXPECT_EQ(g_released.load(), 1);
    EXPECT_EQ(ReleaseFinishedSamples(), 1);
    // The output's tear-down clears the voices and releases what was held back.
    TearDownOutput();
    EXPECT_EQ(g_released.load(), 2);
    EXPECT_EQ(ReleaseFinishedSamples(), 0);
    SetUpOutput(&Device);
}

} // namespace
} // namespace kellix::test
