#include "song/track.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <vector>

using namespace kellix;

namespace {

std::multiset<SampleBlock*> g_released;

// Run under the leak checker: every resize frees what it drops.
struct TrackFixture : ::testing::Test {
    TTrack song;
    TInstrumentCode code;
    void SetUp() override {
        g_released.clear();
        SetSampleRelease([](SampleBlock* b) { g_released.insert(b); });
    }
    void TearDown() override {
        EmptySong(song, code);
        SetSampleRelease(nullptr);
    }
    std::vector<int32_t> PlayList() const {
        return {song.TracksIndex, song.TracksIndex + song.TrackIndexCount};
    }
};

// New play-list entries continue the track numbers (0 without tracks); entries dropped and
// regrown do not come back.
TEST_F(TrackFixture, NewSongAndPlayListGrowth) {
    NewSong(song, code);
    EXPECT_EQ(song.InstrumentCount + song.PatternCount + song.TrackCount + code.Count, 40);
    EXPECT_EQ(song.Row, 16);
    EXPECT_EQ(song.Speed, 128);
    EXPECT_EQ(PlayList(), (std::vector<int32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    ResizeTracks(song, 4);
    ResizeTracksIndex(song, 12);
    EXPECT_EQ(PlayList()[11], 3);
    ResizeTracks(song, 0);
    ResizeTracksIndex(song, 2);
    ResizeTracksIndex(song, 4);
    EXPECT_EQ(PlayList(), (std::vector<int32_t>{0, 1, 0, 0}));
    ResizeTracksIndex(song, -3);
    EXPECT_EQ(song.TracksIndex, nullptr);
}

TEST_F(TrackFixture, ShrinkingInstrumentsReleasesExactlyTheDroppedSamples) {
    ResizeInstruments(song, 5);
    std::vector<SampleBlock> blocks(5);
    for (int i = 0; i < 5; ++i) {
        song.Instrument[i].Sample = i == 3 ? nullptr : &blocks[static_cast<std::size_t>(i)];
    }
    ResizeInstruments(song, 2);
    EXPECT_EQ(g_released, (std::multiset<SampleBlock*>{&blocks[2], &blocks[4]}));
    EXPECT_EQ(song.Instrument[1].Sample, &blocks[1]);
}

TEST_F(TrackFixture, EntriesAreFoundAppendedDeletedAndResized) {
    ResizePatterns(song, 1);
    TPattern& p = song.Patterns[0];
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(AppendPoint(p), i);
        p.Points[i] = {i, 24, 0, 256, 128};
    }
    p.Points[3] = {1, 24, 0, 100, 0}; // same time, tone and instrument as event 1
    EXPECT_EQ(FindPoint(p, 1, 24, 0), 3);
    DeletePoint(p, 1);
    DeletePoint(p, 7);
    ASSERT_EQ(p.PointsCount, 3);
    EXPECT_EQ(p.Points[1].Time, 2);
    EXPECT_EQ(p.Points[2].Vol, 100);

    ResizeTracks(song, 2);
    TTrackPattern& t = song.Tracks[1];
    for (int v : {5, 6, 5, 7}) {
        const int32_t at = AppendPatternIndex(t);
        t.PatternIndex[at] = v;
    }
    EXPECT_EQ(FindPatternIndex(t, 5), 2);
    EXPECT_EQ(FindPatternIndex(t, 9), -1);
    DeletePatternIndex(t, 0);
    // Resizing keeps the first elements and zeroes new ones; unknown indices are ignored.
    ResizePatternIndex(song, 1, 2);
    ResizePatternIndex(song, 2, 3);
    EXPECT_EQ(std::vector<int32_t>(t.PatternIndex, t.PatternIndex + t.PatternCount),
              (std::vector<int32_t>{6, 5}));
    ResizePoints(song, 0, 5);
    ResizePoints(song, 1, 4);
    ResizePoints(song, -1, 4);
    EXPECT_EQ(p.Points[2].Vol, 100);
    EXPECT_EQ(p.Points[4].Tone, 0);

    ResizeInstrumentCode(code, 3);
    code.Texts[0] = strdup("abc");
    code.Texts[2] = strdup("dropped");
    ResizeInstrumentCode(code, 2);
    ResizeInstrumentCode(code, 5);
    EXPECT_STREQ(code.Texts[0], "abc");
    EXPECT_EQ(code.Texts[2], nullptr);
}

} // namespace
