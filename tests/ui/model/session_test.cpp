// What lasts beyond the song file: the play position, the recovery of unsaved work after a run
// that did not end cleanly (a real process killed with SIGKILL), and the recent songs.
#include "ui/model/editor_model.h"

#include "script/dllgen.h"
#include "song/sequencer.h"
#include "songtext/song_writer.h"
#include "ui/model/play_position.h"
#include "ui/ui_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <sys/wait.h>

using namespace kellix;
using namespace kellix::test;

namespace {

struct NullView final : EditorView {
    void DrawSample(const SampleBlock*) override {}
    void Refresh(uint32_t) override {}
};

TEST(PlayPosition, FollowsTheEntriesAndTheShownPattern) {
    TTrack song;
    TInstrumentCode code;
    NewSong(song, code);
    ResizeTracksIndex(song, 3); // tracks 0, 1, 2
    ResizePatternIndex(song, 1, 2);
    song.Tracks[1].PatternIndex[0] = 5;
    song.Tracks[1].PatternIndex[1] = 3;
    ResizePoints(song, 4, 1);
    song.Patterns[4].Points[0].Time = 40; // past Row: the pattern lasts 41 steps
    const int64_t start = 1000;
    const PlayRecord played = RecordSongPlay(song, 0, start);
    struct Case {
        int64_t heard;
        int32_t shown;
        bool playing;
        int32_t entry;
        double step;
    } cases[] = {
        {start - 1, 3, false, -1, -1.0}, // scheduled, not heard yet
        {start, 0, true, 0, -1.0},
        {start + 65536 + 4096 * 2 + 2048, 3, true, 1, 2.5},
        {start + 65536 + 4096 * 2 + 2048, 0, true, 1, -1.0},
        {start + 65536 * 3 - 1, 3, true, 2, -1.0},
        {start + 65536 * 3, 3, false, -1, -1.0},
    };
    for (const Case& c : cases) {
        const PlayPosition p = PositionAt(played, c.heard, c.shown);
        EXPECT_EQ(p.Playing, c.playing) << c.heard;
        EXPECT_EQ(p.Waiting, c.heard < start) << c.heard;
        EXPECT_EQ(p.Entry, c.entry) << c.heard;
        EXPECT_DOUBLE_EQ(p.Step, c.step) << c.heard;
    }
    const PlayRecord from = RecordSongPlay(song, 1, start);
    EXPECT_EQ(PositionAt(from, start, 3).Entry, 1);
    EXPECT_DOUBLE_EQ(PositionAt(from, start, 3).Step, 0.0);

    const PlayRecord pattern = RecordPatternPlay(song, 4, start);
    EXPECT_DOUBLE_EQ(PositionAt(pattern, start + 4096 * 40, 4).Step, 40.0);
    EXPECT_FALSE(PositionAt(pattern, start + 4096 * 41, 4).Playing);
    EXPECT_DOUBLE_EQ(PositionAt(pattern, start + 4096, 3).Step, -1.0);
    const PlayRecord track = RecordTrackPlay(song, 1, start);
    EXPECT_DOUBLE_EQ(PositionAt(track, start + 4096 * 3, 5).Step, 3.0);
    EXPECT_FALSE(PositionAt(track, start + 65536, 5).Playing);
    EXPECT_FALSE(PositionAt(RecordSongPlay(song, 3, start), start, 0).Playing);
    EmptySong(song, code);
}

class SessionTest : public ::testing::Test {
  protected:
    TempFolder Dir;
    ModelFiles Files{Dir / "state", Dir / "config/recent.txt"};

    static void SetUpTestSuite() { StartScripting(); }
    static void TearDownTestSuite() { EndScripting(); }
};

// The child edits, the thirty-second write happens, it edits again and is killed: the next
// start offers the song as it was at the write.
TEST_F(SessionTest, AKilledRunLeavesItsWorkForTheNextStart) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        NullView view;
        PreparedDialogs ask;
        SilentDevice device;
        SetUpOutput(&device);
        EditorModel model(view, ask, Files);
        model.Create();
        model.PatternMouseDown(MouseButton::Left, 1, 40);
        model.SetCodeText(" Result:=CreateSample( 100 , 1 );");
        model.WriteRecovery();
        model.PatternMouseDown(MouseButton::Left, 2, 41);
        (void)!write(ready[1], "x", 1);
        pause();
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));

    NullView view;
    PreparedDialogs ask;
    SilentDevice device;
    SetUpOutput(&device);
    {
        EditorModel model(view, ask, Files);
        model.Create();
        ask.RestoreAnswers = {true};
        ASSERT_TRUE(model.OfferRecovery());
        EXPECT_EQ(model.Title(), "Kellix");
        EXPECT_TRUE(model.Changed());
        ASSERT_EQ(Song.Patterns[0].PointsCount, 1) << "the note after the write is lost";
        EXPECT_EQ(Song.Patterns[0].Points[0].Tone, 40);
        EXPECT_STREQ(InstrumentCode.Texts[0], " Result:=CreateSample( 100 , 1 );")
            << "code typed and not stored is kept too";
        EXPECT_NE(Song.Instrument[0].Sample, nullptr);
        model.Destroy();
    }
    {
        // A clean exit left nothing to offer.
        EditorModel model(view, ask, Files);
        model.Create();
        EXPECT_FALSE(model.OfferRecovery());
        model.Destroy();
    }
    EmptySong(Song, InstrumentCode);
    TearDownOutput();
}

TEST_F(SessionTest, RecoveryIsWrittenOnlyWhileThereIsUnsavedWork) {
    NullView view;
    PreparedDialogs ask;
    SilentDevice device;
    SetUpOutput(&device);
    {
        EditorModel model(view, ask, Files);
        model.Create();
        model.WriteRecovery();
        EXPECT_FALSE(model.RecoveryFile().has_value()) << "nothing changed";
        model.PatternMouseDown(MouseButton::Left, 0, 50);
        model.WriteRecovery();
        ASSERT_TRUE(model.RecoveryFile().has_value());
        const std::string path = *model.RecoveryFile();
        EXPECT_NE(ReadFile(path).find("Tone: 50;"), std::string::npos);
        ask.SaveAnswers = {Dir / "song.txt"};
        ASSERT_TRUE(model.Save());
        EXPECT_FALSE(std::filesystem::exists(path)) << "a save removes it";
        model.Destroy();
    }
    EmptySong(Song, InstrumentCode);
    TearDownOutput();
}

TEST_F(SessionTest, RecentSongsLastAcrossRuns) {
    NullView view;
    PreparedDialogs ask;
    SilentDevice device;
    SetUpOutput(&device);
    std::vector<std::string> songs;
    {
        EditorModel model(view, ask, Files);
        model.Create();
        for (int i = 0; i < 10; ++i) {
            songs.push_back(Dir / ("song" + std::to_string(i) + ".txt"));
            ask.SaveAnswers = {songs.back()};
            ASSERT_TRUE(model.SaveAs());
        }
        model.Destroy();
    }
    {
        EditorModel model(view, ask, Files);
        model.Create();
        ASSERT_EQ(model.RecentPaths().size(), 8u);
        EXPECT_EQ(model.RecentPaths()[0], songs[9]);
        EXPECT_EQ(model.RecentPaths()[7], songs[2]);
        ASSERT_TRUE(model.OpenRecent(3));
        EXPECT_EQ(model.Title(), "Kellix - " + songs[6]);
        EXPECT_EQ(model.RecentPaths()[0], songs[6]);
        std::filesystem::remove(songs[9]);
        EXPECT_FALSE(model.OpenRecent(1));
        EXPECT_EQ(ask.Errors.size(), 1u);
        EXPECT_EQ(model.RecentPaths().size(), 7u) << "a song that cannot be read leaves the list";
        model.Destroy();
    }
    EmptySong(Song, InstrumentCode);
    TearDownOutput();
}

} // namespace
