#include "song/sample.h"
#include "song/track.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

using namespace kellix;

namespace {

std::multiset<SampleBlock*> g_released;

struct TrackFixture : ::testing::Test {
    TTrack song;
    void SetUp() override {
        g_released.clear();
        SetSampleRelease([](SampleBlock* b) { g_released.insert(b); });
    }
    void TearDown() override { SetSampleRelease(nullptr); }
    std::vector<int32_t> PlayList() const {
        return {song.TracksIndex.begin(), song.TracksIndex.end()};
    }
};

// New play-list entries continue the track numbers (0 without tracks); entries dropped and
// regrown do not come back.
TEST_F(TrackFixture, NewSongAndPlayListGrowth) {
    song = NewSong();
    EXPECT_EQ(song.InstrumentCount() + song.PatternCount() + song.TrackCount(), 30);
    EXPECT_FALSE(song.Instrument[9].Code.Exists());
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
    EXPECT_EQ(song.TrackIndexCount(), 0);
}

TEST_F(TrackFixture, ShrinkingTheSamplesReleasesExactlyTheDroppedOnes) {
    std::vector<SampleBlock> blocks(6);
    {
        SampleSet samples;
        samples.Resize(5);
        for (int i = 0; i < 5; ++i) {
            samples.Set(i, i == 3 ? nullptr : &blocks[static_cast<std::size_t>(i)]);
        }
        samples.Resize(2);
        EXPECT_EQ(g_released, (std::multiset<SampleBlock*>{&blocks[2], &blocks[4]}));
        EXPECT_EQ(samples.At(1), &blocks[1]);
        samples.Set(1, &blocks[5]);
        samples.Set(7, &blocks[3]); // outside the set: released at once
        EXPECT_EQ(g_released,
                  (std::multiset<SampleBlock*>{&blocks[1], &blocks[2], &blocks[3], &blocks[4]}));
    }
    EXPECT_EQ(g_released.size(), 6u) << "the set releases what it holds when it goes";
}

// Copies share their arrays until one changes: the other keeps what it had.
TEST_F(TrackFixture, CopiesAreValuesThatShareUnchangedArrays) {
    song = NewSong();
    AppendPoint(song.Patterns.EditAt(2), {1, 24, 0, 256, 128});
    SetInstrumentCode(song, 1, " code");
    const TTrack before = song;
    EXPECT_EQ(before, song);
    AppendPoint(song.Patterns.EditAt(2), {2, 24, 0, 256, 128});
    EXPECT_NE(before, song);
    EXPECT_EQ(before.Patterns[2].PointsCount(), 1);
    EXPECT_EQ(before.Patterns[3].Points.Identity(), song.Patterns[3].Points.Identity());
    EXPECT_EQ(before.Instrument.Identity(), song.Instrument.Identity());
    EXPECT_EQ(before.Instrument[1].Code.Text(), " code");
    // Equal contents are equal songs, whether or not they share; no code is an empty one, as
    // the song file writes both.
    TTrack rebuilt = NewSong();
    AppendPoint(rebuilt.Patterns.EditAt(2), {1, 24, 0, 256, 128});
    SetInstrumentCode(rebuilt, 1, " code");
    EXPECT_EQ(rebuilt, before);
    SetInstrumentCode(rebuilt, 0, "");
    EXPECT_EQ(rebuilt, before);
    SetInstrumentCode(rebuilt, 0, " ");
    EXPECT_NE(rebuilt, before);
}

TEST_F(TrackFixture, EntriesAreFoundAppendedDeletedAndResized) {
    ResizePatterns(song, 1);
    TPattern& p = song.Patterns.EditAt(0);
    // Event 3 has the same time, tone and instrument as event 1.
    p.Points = {
        {0, 24, 0, 256, 128}, {1, 24, 0, 256, 128}, {2, 24, 0, 256, 128}, {1, 24, 0, 100, 0}};
    EXPECT_EQ(AppendPoint(p, {9, 24, 0, 256, 128}), 4);
    DeletePoint(p, 4);
    EXPECT_EQ(FindPoint(p, 1, 24, 0), 3);
    DeletePoint(p, 1);
    DeletePoint(p, 7);
    ASSERT_EQ(p.PointsCount(), 3);
    EXPECT_EQ(p.Points[1].Time, 2);
    EXPECT_EQ(p.Points[2].Vol, 100);

    ResizeTracks(song, 2);
    TTrackPattern& t = song.Tracks.EditAt(1);
    t.PatternIndex = {5, 6, 5, 7};
    EXPECT_EQ(FindPatternIndex(t, 5), 2);
    EXPECT_EQ(FindPatternIndex(t, 9), -1);
    DeletePatternIndex(t, 0);
    // Resizing keeps the first elements and zeroes new ones; unknown indices are ignored.
    ResizePatternIndex(song, 1, 2);
    ResizePatternIndex(song, 2, 3);
    EXPECT_EQ(song.Tracks[1].PatternIndex, (SharedArray<int32_t>{6, 5}));
    ResizePoints(song, 0, 5);
    ResizePoints(song, 1, 4);
    ResizePoints(song, -1, 4);
    EXPECT_EQ(song.Patterns[0].Points[2].Vol, 100);
    EXPECT_EQ(song.Patterns[0].Points[4].Tone, 0);
}

} // namespace
