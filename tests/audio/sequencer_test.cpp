#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <string>

using namespace kellix;

namespace {

// The voices a mixer holds, each as start:step:peak:pan.
std::string Voices(const SoundBuffer* m) {
    std::string got;
    for (const Voice* v = m->First; v; v = v->Next) {
        got += (got.empty() ? "" : " ") + std::to_string(m->Total - v->Position / 4) + ":" +
               std::to_string(v->Step) + ":" + std::to_string(v->Peak) + ":" +
               std::to_string(v->Pan);
    }
    return got;
}

// The scheduling of whole songs is checked by the export against the model; here the preview,
// what cannot play and what would overflow, on the default song whose instrument 0 alone has a
// sample.
TEST(Sequencer, SkipsWhatCannotPlayAndClampsWhatWouldOverflow) {
    TestSample sample(kellix::test::NewBlock(kSampleMono, 200, 200)); // 100 silent frames
    TTrack song = NewSong();
    SampleSet samples;
    samples.Resize(10);
    samples.Set(0, sample.get());
    auto add = [&](int32_t pattern, TIdPoint note) {
        AppendPoint(song.Patterns.EditAt(pattern), note);
    };
    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    m->Total = 777;
    // Levels past the peak range clamp (the product with 127 must not overflow). Events without
    // a playable instrument, and patterns or instruments that do not exist, add nothing.
    add(0, {0, 24, 0, 20000000, 128});
    add(0, {0, 24, 0, -20000000, 128});
    add(0, {1, 24, 1, 256, 9});
    add(0, {1, 24, -1, 256, 9});
    PlayPattern(m, song, samples, 0, 0);
    PlayPattern(m, song, samples, 10, 0);
    for (int32_t instrument : {0, 1, 42}) {
        PreviewNote(m, song, samples, instrument, 12, 100, 0);
    }
    EXPECT_EQ(Voices(m), "777:44100:32767:128 777:44100:0:128 777:22050:12700:0");

    // Huge times saturate at 2^60 frames instead of wrapping into the past: a step in a
    // pattern, and an entry of the play list (0..9, track 9 playing pattern 2).
    ClearVoices(m);
    song.Speed = song.Row = 2147483647;
    add(1, {2147483647, 24, 0, 2, 9});
    add(2, {0, 24, 0, 2, 9});
    AppendPatternIndex(song.Tracks.EditAt(9), 2);
    PlayPattern(m, song, samples, 1, 0);
    PlayFrom(m, song, samples, 0, 0);
    EXPECT_EQ(Voices(m), "1152921504606846976:44100:254:9 1152921504606846976:44100:254:9");

    FreeSoundBuffer(m);
    samples.Set(0, nullptr);
}

} // namespace
