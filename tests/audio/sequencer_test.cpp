// Songs into voices: the export of a song against the literal model, and what the scheduling
// skips or clamps.
#include "audio/effects.h"
#include "audio/mixer.h"
#include "audio/sequencer.h"
#include "audio/wav_export.h"
#include "mixer_model.h"
#include "test_files.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>

using namespace kellix;
using namespace std::literals;

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

// The scheduling of whole songs is checked by the export against the model; here one note's
// voice, what cannot play and what would overflow, on the default song whose instrument 0 alone
// has a sample.
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
    // a playable instrument, and patterns that do not exist, add nothing.
    add(0, {0, 24, 0, 20000000, 128});
    add(0, {0, 24, 0, -20000000, 128});
    add(0, {1, 24, 1, 256, 9});
    add(0, {1, 24, -1, 256, 9});
    PlayPattern(m, song, samples, 0, 0);
    PlayPattern(m, song, samples, 10, 0);
    const NoteVoice v = VoiceOfNote(song.Instrument[0], 12, 100, 0);
    EXPECT_EQ(std::tuple(v.Step, v.Peak, v.Pan), std::tuple(22050, 12700, 0));
    EXPECT_EQ(Voices(m), "777:44100:32767:128 777:44100:0:128");

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

// The export of a song against the literal model, and the lengths and refusals that Speed, Row,
// play-list entries and tail frames give (a refusal leaves the old file).
TEST(ExportWav, RendersWhatTheLiteralModelMixesAndRefusesWhatWouldNotFit) {
    TTrack song = NewSong();
    SampleSet samples;
    samples.Resize(10);
    const MasterEffects effects = StartupEffects();
    const kellix::test::TempFolder dir;
    // A sine instrument with an envelope, notes in two entries, with the start-up delay.
    TestSample sample(kellix::test::NewSample(kSampleMono, 30000, [](int32_t f, int32_t) {
        return static_cast<int16_t>(12000 * std::sin(0.03 * f));
    }));
    song.Instrument.EditAt(0) = {3, {500, 3000, 8000}, {}};
    samples.Set(0, sample.get());
    song.Speed = 40;
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 3);
    song.TracksIndex.EditAt(2) = 0;
    for (int p = 0; p < 2; ++p) {
        AppendPatternIndex(song.Tracks.EditAt(p), p);
        for (int t = 0; t < 16; t += 3) {
            AppendPoint(song.Patterns.EditAt(p), {t, 20 + t + p, 0, 250, 30 + 60 * p});
        }
    }
    // The model: the same notes, mixed literally in quarter-second blocks. The pitch is the
    // tone plus SampleTone sixteenths, the rate 2^(pitch / 12 + 13.4285).
    model::Mixer ref;
    const int64_t entry = int64_t{40} * 32 * 16;
    for (int e = 0; e < 3; ++e) {
        const TPattern& p = song.Patterns[song.TracksIndex[e]];
        for (const TIdPoint& n : p.Points) {
            float pitch = static_cast<float>(n.Tone + 3 * 0.0625);
            int32_t step = static_cast<int32_t>(
                std::exp(std::log(2.0L) * (pitch * (1.0L / 12) + 14.4285L - 1)));
            int64_t start = e * entry + n.Time * 40 * 32;
            ref.voices.push_back(
                {sample.get(), step, -start * 4, 250 * 127, n.Pan, {500, 3000, 8000}});
        }
    }
    // Each export starts from silence: a second one, replacing a longer file, gives the same
    // bytes.
    ASSERT_TRUE(ExportWav(song, samples, effects, dir / "a.wav"));
    kellix::test::WriteFile(dir / "b.wav", std::string(500000, 'x'));
    ASSERT_TRUE(ExportWav(song, samples, effects, dir / "b.wav"));
    const std::string file = kellix::test::ReadFile(dir / "a.wav");
    EXPECT_EQ(kellix::test::ReadFile(dir / "b.wav"), file);
    std::vector<int16_t> ring(88200);
    // RIFF size, format length, PCM, 2 channels, rate, bytes a second and a frame, 16 bits.
    std::string expected = "RIFF\x24\xC0\x03\x00WAVEfmt \x10\x00\x00\x00\x01\x00\x02\x00\x44\xAC"
                           "\x00\x00\x10\xB1\x02\x00\x04\x00\x10\x00"
                           "data\x00\xC0\x03\x00"s;
    for (int64_t remaining = 3 * entry * 4; remaining > 0; remaining -= 44100) {
        const char* bytes = reinterpret_cast<const char*>(ring.data()) + ref.writePos;
        model::MixBlock(ref, ring.data(), 11025, {9980, 8191, 10584, 15876});
        expected.append(bytes, static_cast<std::size_t>(std::min<int64_t>(44100, remaining)));
    }
    EXPECT_EQ(file, expected);

    // Speed, Row, play-list entries, tail frames, the file's size after and a part of the error.
    const std::tuple<int32_t, int32_t, int32_t, int64_t, uint64_t, std::string> cases[] = {
        {1, 1, 0, 0, 44, ""},
        {1 << 20, 16, 10, 0, 12, "is too long"}, // 2^20 x 32 x 16 x 10 frames x 4 bytes > 4 GiB
        {128, 16, 10, int64_t{1} << 32, 12, "and its tail are too long"},
        {-128, 16, 10, 0, 12, "negative"},
        {128, 16, 10, -1, 12, "negative"},
    };
    for (const auto& [speed, row, entries, tail, size, part] : cases) {
        kellix::test::WriteFile(dir / "a.wav", "old contents");
        song.Speed = speed;
        song.Row = row;
        ResizeTracksIndex(song, entries);
        std::string error;
        EXPECT_EQ(ExportWav(song, samples, effects, dir / "a.wav", &error, {}, tail), part.empty());
        EXPECT_NE(error.find(part), std::string::npos) << error;
        EXPECT_EQ(kellix::test::ReadFile(dir / "a.wav").size(), size) << speed << " " << tail;
    }
    samples.Set(0, nullptr);
}

} // namespace
