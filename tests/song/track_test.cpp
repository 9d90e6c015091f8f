#include "song/track.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

using namespace kellix;

namespace {

std::vector<SampleBlock*> g_released;
void RecordRelease(SampleBlock* b) {
    g_released.push_back(b);
}

struct TrackFixture : ::testing::Test {
    TTrack song;
    TInstrumentCode code;
    void SetUp() override {
        g_released.clear();
        SetSampleRelease(RecordRelease);
    }
    void TearDown() override {
        EmptySong(song, code);
        SetSampleRelease(nullptr);
    }
    std::vector<int32_t> PlayList() const {
        return {song.TracksIndex, song.TracksIndex + song.TrackIndexCount};
    }
};

TEST_F(TrackFixture, NewSongBuildsTheDefaults) {
    NewSong(song, code);
    EXPECT_EQ(song.InstrumentCount + song.PatternCount + song.TrackCount + code.Count, 40);
    EXPECT_EQ(song.Row, 16);
    EXPECT_EQ(song.Speed, 128);
    EXPECT_EQ(PlayList(), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    for (int i = 0; i < 10; ++i) {
        const TInstrument& inst = song.Instrument[i];
        EXPECT_EQ(inst.SampleTone | inst.Env.Attack | inst.Env.Cont | inst.Env.Ende, 0);
        EXPECT_EQ(inst.Sample, nullptr);
        EXPECT_EQ(code.Texts[i], nullptr);
        EXPECT_EQ(song.Patterns[i].Points, nullptr);
        EXPECT_EQ(song.Tracks[i].PatternIndex, nullptr);
    }
}

// New play-list entries continue the track numbers (0 without tracks); entries dropped and
// regrown do not come back.
TEST_F(TrackFixture, NewPlayListEntriesFollowTheTrackCount) {
    const struct {
        int32_t tracks, entries;
        std::vector<int32_t> expected;
    } cases[] = {
        {10, 5, {0, 1, 2, 3, 4}},
        {4, 10, {0, 1, 2, 3, 0, 1, 2, 3, 0, 1}},
        {0, 3, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        ResizeTracksIndex(song, 0);
        ResizeTracks(song, c.tracks);
        ResizeTracksIndex(song, c.entries);
        EXPECT_EQ(PlayList(), c.expected) << c.tracks;
    }
    ResizeTracks(song, 10);
    song.TracksIndex[2] = 7;
    ResizeTracksIndex(song, 2);
    ResizeTracksIndex(song, 3);
    EXPECT_EQ(PlayList(), (std::vector<int32_t>{0, 0, 2}));
    ResizeTracksIndex(song, -3);
    EXPECT_EQ(song.TrackIndexCount, 0);
    EXPECT_EQ(song.TracksIndex, nullptr);
}

TEST_F(TrackFixture, ShrinkingInstrumentsReleasesExactlyTheDroppedSamples) {
    ResizeInstruments(song, 5);
    std::vector<SampleBlock> blocks(5);
    for (int i = 0; i < 5; ++i) {
        song.Instrument[i].Sample = i == 3 ? nullptr : &blocks[static_cast<std::size_t>(i)];
        song.Instrument[i].SampleTone = i;
    }
    ResizeInstruments(song, 2);
    EXPECT_EQ(std::multiset<SampleBlock*>(g_released.begin(), g_released.end()),
              (std::multiset<SampleBlock*>{&blocks[2], &blocks[4]}));
    EXPECT_EQ(song.Instrument[1].SampleTone, 1);
    EXPECT_EQ(song.Instrument[1].Sample, &blocks[1]);
    ResizeInstruments(song, 4);
    EXPECT_EQ(song.Instrument[3].Sample, nullptr);
    EXPECT_EQ(song.Instrument[3].SampleTone, 0);
    g_released.clear();
    ResizeInstruments(song, 0);
    EXPECT_EQ(g_released.size(), 2u);
    EXPECT_EQ(song.Instrument, nullptr);
}

TEST_F(TrackFixture, PointsAndPatternIndexEntriesAreFoundAppendedAndDeleted) {
    ResizePatterns(song, 1);
    TPattern& p = song.Patterns[0];
    EXPECT_EQ(FindPoint(p, 0, 0, 0), -1);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(AppendPoint(p), i);
        p.Points[i] = {i, 24, 0, 256, 128};
    }
    p.Points[3] = {1, 24, 0, 100, 0}; // same time, tone and instrument as event 1
    EXPECT_EQ(FindPoint(p, 1, 24, 0), 3);
    DeletePoint(p, 1);
    DeletePoint(p, 7);
    DeletePoint(p, -1);
    ASSERT_EQ(p.PointsCount, 3);
    EXPECT_EQ(p.Points[1].Time, 2);
    EXPECT_EQ(p.Points[2].Vol, 100);
    for (int i = 0; i < 3; ++i) {
        DeletePoint(p, 0);
    }
    EXPECT_EQ(p.Points, nullptr);

    ResizeTracks(song, 2);
    TTrackPattern& t = song.Tracks[1];
    for (int v : {5, 6, 5, 7}) {
        const int32_t at = AppendPatternIndex(t);
        t.PatternIndex[at] = v;
    }
    EXPECT_EQ(FindPatternIndex(t, 5), 2);
    EXPECT_EQ(FindPatternIndex(t, 9), -1);
    DeletePatternIndex(t, 0);
    EXPECT_EQ(std::vector<int32_t>(t.PatternIndex, t.PatternIndex + t.PatternCount),
              (std::vector<int32_t>{6, 5, 7}));
}

// Under the leak checker: every resize frees what it drops.
TEST_F(TrackFixture, ResizingKeepsTheFirstElementsAndFreesTheRest) {
    ResizePatterns(song, 3);
    ResizePoints(song, 2, 4);
    song.Patterns[2].Points[3].Tone = -7;
    ResizePoints(song, 2, 6);
    EXPECT_EQ(song.Patterns[2].Points[3].Tone, -7);
    EXPECT_EQ(song.Patterns[2].Points[5].Tone, 0);
    ResizePoints(song, 3, 4); // no such pattern
    ResizePoints(song, -1, 4);
    ResizeTracks(song, 2);
    ResizePatternIndex(song, 1, 3);
    EXPECT_EQ(song.Tracks[1].PatternCount, 3);
    ResizePatternIndex(song, 5, 3);
    ResizePatterns(song, 1);
    ResizeTracks(song, 0);
    EXPECT_EQ(song.PatternCount, 1);

    ResizeInstrumentCode(code, 3);
    code.Texts[0] = static_cast<char*>(std::malloc(4));
    code.Texts[2] = static_cast<char*>(std::malloc(4));
    std::strcpy(code.Texts[0], "abc");
    ResizeInstrumentCode(code, 2);
    ResizeInstrumentCode(code, 5);
    EXPECT_STREQ(code.Texts[0], "abc");
    EXPECT_EQ(code.Texts[2], nullptr);
}

} // namespace
