#include "audio/mixer.h"
#include "song/sequencer.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace kellix;

namespace {

struct Note {
    int32_t pattern, time, tone, instrument, vol, pan;
};

// The default song (Speed 128 and Row 16 unless given: 4096 frames a time step, 65536 an
// entry), whose instrument 0 alone has a sample, with the notes added and the patterns appended
// to tracks (track, pattern); a given play list replaces 0..9. play is 'p' pattern, 't' track,
// 'f' from a play-list entry, 'n' a preview of instrument index (tone 12, volume
// 100, pan 0). Each voice reads start:step:peak:pan.
void ExpectVoices(std::vector<Note> notes, std::vector<std::pair<int32_t, int32_t>> tracks,
                  std::vector<int32_t> playList, std::array<int32_t, 3> speedRowTone, int64_t clock,
                  char play, int32_t index, int64_t base, const char* voices) {
    TestSample sample = ConstantSample(1, 100, 1000);
    TTrack song;
    TInstrumentCode code;
    NewSong(song, code);
    song.Instrument[0] = {speedRowTone[2], nullptr, sample.get(), {}};
    song.Speed = speedRowTone[0];
    song.Row = speedRowTone[1];
    for (const Note& n : notes) {
        TPattern& p = song.Patterns[n.pattern];
        const int32_t i = AppendPoint(p);
        p.Points[i] = {n.time, n.tone, n.instrument, n.vol, n.pan};
    }
    for (const auto& [track, pattern] : tracks) {
        TTrackPattern& t = song.Tracks[track];
        const int32_t i = AppendPatternIndex(t);
        t.PatternIndex[i] = pattern;
    }
    if (!playList.empty()) {
        ResizeTracksIndex(song, static_cast<int32_t>(playList.size()));
        std::copy(playList.begin(), playList.end(), song.TracksIndex);
    }
    SoundBuffer* m = CreateSoundBuffer(2, 44100, 16);
    m->Total = clock;
    if (play == 'p') {
        PlayPattern(m, song, index, base);
    } else if (play == 't') {
        PlayTrack(m, song, index, base);
    } else if (play == 'f') {
        PlayFrom(m, song, index, base);
    } else {
        PreviewNote(m, song, index, 12, 100, 0);
    }
    std::string got;
    for (const Voice* v = m->First; v; v = v->Next) {
        got += (got.empty() ? "" : " ") + std::to_string(m->Total - v->Position / 4) + ":" +
               std::to_string(v->Step) + ":" + std::to_string(v->Peak) + ":" +
               std::to_string(v->Pan);
    }
    EXPECT_EQ(got, voices) << "play " << play << " " << index;
    FreeSoundBuffer(m);
    song.Instrument[0].Sample = nullptr;
    EmptySong(song, code);
}

TEST(Sequencer, SchedulesVoices) {
    const int32_t max = 2147483647;
    const std::array<int32_t, 3> normal{128, 16, 0};
    // SampleTone tunes in sixteenths of a semitone; a time step is Speed x 32 frames.
    ExpectVoices({{0, 3, 24, 0, 1, 40}}, {}, {}, {100, 16, -16}, 0, 'p', 0, 0, "9600:41625:127:40");
    // Levels past the peak range clamp (the product with 127 must not overflow).
    ExpectVoices({{0, 0, 24, 0, 20000000, 128}, {0, 0, 24, 0, -20000000, 128}}, {}, {}, normal, 0,
                 'p', 0, 0, "0:44100:32767:128 0:44100:0:128");
    // Events without a playable instrument, and patterns that do not exist, add nothing.
    ExpectVoices({{0, 0, 24, 1, 256, 9},
                  {0, 1, 24, 0, 256, 9},
                  {0, 2, 24, 10, 256, 9},
                  {0, 3, 24, -1, 256, 9}},
                 {}, {}, normal, 0, 'p', 0, 0, "4096:44100:32512:9");
    ExpectVoices({{9, 0, 24, 0, 256, 9}}, {}, {}, normal, 0, 'p', 10, 0, "");
    ExpectVoices({{0, 0, 24, 0, 256, 9}}, {}, {}, normal, 0, 'p', -1, 0, "");
    // A track listing a pattern twice plays it twice; a pattern number past the table is
    // ignored.
    ExpectVoices({{4, 1, 24, 0, 2, 9}}, {{2, 4}, {2, 4}, {2, 77}}, {}, normal, 0, 't', 2, 500,
                 "4596:44100:254:9 4596:44100:254:9");
    // A play-list entry naming no track still takes its time.
    ExpectVoices({{1, 0, 24, 0, 2, 9}}, {{1, 1}}, {99, 1}, normal, 1000, 'f', 0, 0,
                 "66536:44100:254:9");
    const std::vector<Note> notes = {{0, 0, 24, 0, 2, 9}, {8, 0, 24, 0, 2, 9}, {9, 0, 24, 0, 2, 9}};
    const std::vector<std::pair<int32_t, int32_t>> tracks = {{0, 0}, {8, 8}, {9, 9}};
    ExpectVoices(notes, tracks, {}, normal, 0, 'f', 8, 0, "0:44100:254:9 65536:44100:254:9");
    ExpectVoices(notes, tracks, {}, normal, 0, 'f', -1, 0, "");
    ExpectVoices(notes, tracks, {}, normal, 0, 'f', 10, 0, "");
    // Huge times saturate at 2^60 frames instead of wrapping into the past.
    ExpectVoices({{0, max, 24, 0, 2, 9}}, {}, {}, {max, 16, 0}, 0, 'p', 0, 0,
                 "1152921504606846976:44100:254:9");
    ExpectVoices({{0, 0, 24, 0, 2, 9}}, {{9, 0}}, {}, {max, max, 0}, 0, 'f', 0, 0,
                 "1152921504606846976:44100:254:9");
    // A preview starts at the clock.
    ExpectVoices({}, {}, {}, normal, 777, 'n', 0, 0, "777:22050:12700:0");
    ExpectVoices({}, {}, {}, normal, 777, 'n', 1, 0, "");
    ExpectVoices({}, {}, {}, normal, 777, 'n', 42, 0, "");
}

} // namespace
