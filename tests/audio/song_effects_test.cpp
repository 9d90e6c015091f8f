// The song's effects as the mixer takes them, and the reverb heard in an export: with the reverb
// on, the export is the one without it passed, frame by frame, through the reverb's slow model.
#include "audio/effects.h"
#include "audio/wav_export.h"
#include "reverb_model.h"
#include "test_files.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

using namespace kellix;

namespace {

TEST(SongEffects, ANewSongSoundsAsAtStartAndTheReverbRunsAfterTheDelay) {
    EXPECT_EQ(EffectsOf(TEffects{}), StartupEffects());

    TTrack song = NewSong();
    SampleSet samples;
    samples.Resize(10);
    TestSample sample(kellix::test::NewSample(kSampleMono, 20000, [](int32_t f, int32_t) {
        return static_cast<int16_t>(14000 * std::sin(0.05 * f));
    }));
    samples.Set(0, sample.get());
    for (int t = 0; t < 16; t += 5) {
        AppendPoint(song.Patterns.EditAt(0), {t, 24 + t, 0, 250, 40 + 10 * t});
    }
    const kellix::test::TempFolder dir;
    song.Effects = {3000, 7000, 12000, 9000, 0, 3000, 5000, 200};
    ASSERT_TRUE(ExportWav(song, samples, EffectsOf(song.Effects), dir / "off.wav", {}, {}, 44100));
    song.Effects.Reverb = 1;
    ASSERT_TRUE(ExportWav(song, samples, EffectsOf(song.Effects), dir / "on.wav", {}, {}, 44100));
    std::string expected = kellix::test::ReadFile(dir / "off.wav");
    model::Reverb reverb(3000, 5000, 200, 256);
    for (std::size_t at = kWavHeaderSize; at + 4 <= expected.size(); at += 4) {
        int16_t frame[2];
        std::memcpy(frame, expected.data() + at, 4);
        reverb.Frame(frame[0], frame[1]);
        std::memcpy(expected.data() + at, frame, 4);
    }
    EXPECT_EQ(kellix::test::ReadFile(dir / "on.wav"), expected);
    samples.Set(0, nullptr);
}

} // namespace
