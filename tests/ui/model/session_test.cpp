// What lasts beyond the song file: the play position, the recovery of unsaved work after a run
// that did not end cleanly (a real process killed with SIGKILL), and the recent songs.
#include "model_fixture.h"

#include "audio/sequencer.h"
#include "ui/model/play_position.h"

#include <csignal>
#include <filesystem>
#include <sys/wait.h>

using namespace kellix;
using namespace kellix::test;

namespace {

// Patterns counted from 0: track 1 plays patterns 5 and 3 together; steps last 4096 frames and
// every play-list entry 65536.
TEST(PlayPosition, FollowsTheEntriesAndTheShownPattern) {
    TTrack song = NewSong();
    ResizeTracksIndex(song, 3); // tracks 0, 1, 2
    AppendPatternIndex(song.Tracks.EditAt(1), 5);
    AppendPatternIndex(song.Tracks.EditAt(1), 3);
    const int64_t t = 1000; // the first frame heard
    const PlayRecord played = RecordSongPlay(song, 0, t);
    EXPECT_FALSE(PositionAt(played, t - 1, 3).Playing) << "scheduled, not heard yet";
    const PlayPosition p = PositionAt(played, t + 65536 + 4096 * 2 + 2048, 3);
    EXPECT_EQ(p.Entry, 1);
    EXPECT_DOUBLE_EQ(p.Step, 2.5);
    EXPECT_DOUBLE_EQ(PositionAt(played, t + 65536, 0).Step, -1.0) << "another pattern shown";
    EXPECT_FALSE(PositionAt(played, t + 65536 * 3, 3).Playing);
    EXPECT_FALSE(PositionAt(RecordSongPlay(song, 3, t), t, 0).Playing) << "past the play list";
    EXPECT_DOUBLE_EQ(PositionAt(RecordTrackPlay(song, 1, t), t + 4096 * 3, 5).Step, 3.0);
}

// The child saves, edits, the thirty-second write happens, it edits again and is killed: the
// next start offers the song as it was at the write, with its effects and its file.
TEST_F(ModelBase, AKilledRunLeavesItsWorkForTheNextStart) {
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        EditorModel model(View, Ask, Live, *Scripts, Files);
        model.Create();
        Ask.SaveAnswers = {Dir / "named.txt"};
        model.SaveAs();
        model.SetReverbOn(true);
        model.PlaceNote(1, 40);
        model.SetCodeText(kCode100);
        model.WriteRecovery();
        model.PlaceNote(2, 41);
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

    for (bool offered : {true, false}) { // a clean exit leaves nothing to offer
        EditorModel model(View, Ask, Live, *Scripts, Files);
        model.Create();
        Ask.RestoreAnswers = {true};
        ASSERT_EQ(model.OfferRecovery(), offered);
        if (offered) {
            EXPECT_TRUE(model.Changed());
            const TTrack& song = model.Song();
            ASSERT_EQ(song.Patterns[0].PointsCount(), 1) << "the note after the write is lost";
            EXPECT_EQ(song.Patterns[0].Points[0].Tone, 40);
            EXPECT_EQ(song.Instrument[0].Code.Text(), kCode100) << "typed code is kept too";
            EXPECT_EQ(song.Effects.Reverb, 1);
            EXPECT_EQ(model.FileName(), Dir / "named.txt");
            model.WriteRecovery();
            const std::optional<std::string> file = model.RecoveryFile();
            ASSERT_TRUE(file && std::filesystem::exists(*file));
            ASSERT_TRUE(model.Save()) << "saved where it belongs, without a question";
            EXPECT_TRUE(Ask.Confirmed.empty() && Ask.SaveAsked.empty());
            EXPECT_FALSE(std::filesystem::exists(*file)) << "a save removes the recovery file";
        }
        model.Destroy();
    }
}

// The next run reads the list as this one left it.
TEST_F(ModelTest, RecentSongsLastAcrossRuns) {
    std::vector<std::string> songs;
    for (int i = 0; i < 10; ++i) {
        songs.push_back(Dir / ("song" + std::to_string(i) + ".txt"));
        Ask.SaveAnswers = {songs.back()};
        ASSERT_TRUE(Model.SaveAs());
    }
    ASSERT_TRUE(Model.OpenRecent(3));
    const std::vector<std::string> next = RecentSongs(Files.RecentFile).Paths();
    ASSERT_EQ(next.size(), 8u);
    EXPECT_EQ(next[0], songs[6]);
    EXPECT_EQ(next[7], songs[2]);
}

} // namespace
