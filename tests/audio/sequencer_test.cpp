#include "audio/effects.h"
#include "audio/mixer.h"
#include "song/sequencer.h"
#include "song/track.h"
#include "test_samples.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kellix;

namespace {

struct SequencerFixture : ::testing::Test {
    TTrack song;
    TInstrumentCode code;
    SoundBuffer* mixer = CreateSoundBuffer(2, 44100, 16);
    TestSample sample = ConstantSample(1, 100, 1000);

    void SetUp() override {
        NewSong(song, code);
        song.Instrument[0].Sample = sample.get();
        song.Instrument[0].Env = {1, 2, 3};
    }
    void TearDown() override {
        FreeSoundBuffer(mixer);
        for (int i = 0; i < song.InstrumentCount; ++i) {
            song.Instrument[i].Sample = nullptr;
        }
        EmptySong(song, code);
    }
    void AddNote(int pattern, int time, int tone, int inst = 0, int vol = 256, int pan = 128) {
        TPattern& p = song.Patterns[pattern];
        int i = AppendPoint(p);
        p.Points[i] = {time, tone, inst, vol, pan};
    }
    void AddPattern(int track, int pattern) {
        TTrackPattern& t = song.Tracks[track];
        int i = AppendPatternIndex(t);
        t.PatternIndex[i] = pattern;
    }
    std::vector<int64_t> StartFrames() const {
        std::vector<int64_t> starts;
        for (const Voice* v = mixer->First; v; v = v->Next) {
            starts.push_back(mixer->Total - v->Position / 4);
        }
        return starts;
    }
};

TEST_F(SequencerFixture, PlaySongSchedulesEachEntryOneEntryLengthLater) {
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 3); // 0, 1, 2
    for (int t = 0; t < 3; ++t) {
        AddNote(t, 0, 24);
        AddPattern(t, t);
    }
    mixer->Total = 1000;
    PlaySong(mixer, song, 0);
    EXPECT_EQ(StartFrames(), (std::vector<int64_t>{1000, 1000 + 65536, 1000 + 131072}));
}

TEST_F(SequencerFixture, NoteVoiceCarriesPitchPeakPanAndEnvelope) {
    AddNote(0, 3, 24, 0, 200, 40);
    song.Speed = 100;
    PlayPattern(mixer, song, 0, 0);
    ASSERT_EQ(VoiceCount(mixer), 1);
    const Voice* v = mixer->First;
    EXPECT_EQ(StartFrames()[0], 9600);
    EXPECT_EQ(v->Step, 44100);
    EXPECT_EQ(v->Peak, 200 * 127);
    EXPECT_EQ(v->Pan, 40);
    EXPECT_EQ(v->Env.Attack, 1);
    EXPECT_EQ(v->Env.Cont, 2);
    EXPECT_EQ(v->Env.Ende, 3);
    EXPECT_EQ(v->Sample, sample.get());
}

TEST_F(SequencerFixture, SampleToneTunesInSixteenthsOfASemitone) {
    AddNote(0, 0, 24);
    song.Instrument[0].SampleTone = -16;
    PlayPattern(mixer, song, 0, 0);
    EXPECT_EQ(mixer->First->Step, 41625);
    ClearVoices(mixer);
    song.Instrument[0].SampleTone = 192; // 12 semitones up
    PlayPattern(mixer, song, 0, 0);
    EXPECT_EQ(mixer->First->Step, 88200);
}

TEST_F(SequencerFixture, TrackListingAPatternTwiceSchedulesItTwice) {
    AddNote(4, 1, 24);
    AddPattern(2, 4);
    AddPattern(2, 4);
    AddPattern(2, 77); // names no pattern: ignored
    PlayTrack(mixer, song, 2, 500);
    EXPECT_EQ(StartFrames(), (std::vector<int64_t>{4596, 4596}));
}

TEST_F(SequencerFixture, MissingTrackStillOccupiesItsEntry) {
    song.TracksIndex[0] = 99;
    song.TracksIndex[1] = 1;
    AddNote(1, 0, 24);
    AddPattern(1, 1);
    ResizeTracksIndex(song, 2);
    PlaySong(mixer, song, 0);
    EXPECT_EQ(StartFrames(), (std::vector<int64_t>{65536}));
}

TEST_F(SequencerFixture, PlayFromStartsAtTheGivenEntryAndRejectsBadOnes) {
    for (int t = 0; t < 10; ++t) {
        AddNote(t, 0, 24);
        AddPattern(t, t);
    }
    PlayFrom(mixer, song, 8, 0);
    EXPECT_EQ(StartFrames(), (std::vector<int64_t>{0, 65536}));
    ClearVoices(mixer);
    PlayFrom(mixer, song, -1, 0);
    PlayFrom(mixer, song, 10, 0);
    EXPECT_EQ(VoiceCount(mixer), 0);
}

TEST_F(SequencerFixture, EventsWithoutAPlayableInstrumentAreSkipped) {
    AddNote(0, 0, 24, 1); // instrument 1 has no sample
    AddNote(0, 1, 24, 0);
    AddNote(0, 2, 24, 10); // no such instrument
    AddNote(0, 3, 24, -1);
    PlayPattern(mixer, song, 0, 0);
    EXPECT_EQ(StartFrames(), (std::vector<int64_t>{4096}));
    PlayPattern(mixer, song, 10, 0);
    PlayPattern(mixer, song, -1, 0);
    EXPECT_EQ(VoiceCount(mixer), 1);
}

TEST_F(SequencerFixture, PreviewStartsAtTheClock) {
    mixer->Total = 777;
    PreviewNote(mixer, song, 0, 12, 100, 0);
    ASSERT_EQ(VoiceCount(mixer), 1);
    EXPECT_EQ(StartFrames()[0], 777);
    EXPECT_EQ(mixer->First->Step, 22050);
    PreviewNote(mixer, song, 1, 12, 100, 0); // no sample
    PreviewNote(mixer, song, 42, 12, 100, 0);
    EXPECT_EQ(VoiceCount(mixer), 1);
}

TEST_F(SequencerFixture, HugeTimesDoNotWrapIntoThePast) {
    AddNote(0, 2147483647, 24);
    song.Speed = 2147483647;
    PlayPattern(mixer, song, 0, 0);
    ASSERT_EQ(VoiceCount(mixer), 1);
    EXPECT_LT(mixer->First->Position, 0);
    song.Row = 2147483647;
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 10);
    ClearVoices(mixer);
    AddPattern(9, 0);
    PlaySong(mixer, song, 0);
    ASSERT_EQ(VoiceCount(mixer), 1);
    EXPECT_LT(mixer->First->Position, 0);
}

TEST_F(SequencerFixture, VolumesBeyondTheLevelRangeAreClamped) {
    AddNote(0, 0, 24, 0, 100000, 128);
    AddNote(0, 0, 24, 0, -5, 128);
    PlayPattern(mixer, song, 0, 0);
    EXPECT_EQ(mixer->First->Peak, 32767);
    EXPECT_EQ(mixer->Last->Peak, 0);
}

} // namespace
