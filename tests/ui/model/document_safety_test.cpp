// Ways a song could be lost, hang the window or change behind the user's back: files that are
// not regular files, a cancelled render, values outside what the mixer uses, a zero byte, a
// file changed on disk, a recovery offered to two windows, a state folder that cannot be
// written, and names that are not UTF-8.
#include "model_fixture.h"

#include "songtext/song_reader.h"
#include "ui/model/recovery.h"

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <future>
#include <sys/stat.h>
#include <tuple>

using namespace kellix;
using namespace kellix::test;

namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// Runs what may block on a FIFO; if it has not returned within ten seconds a writer is opened
// to release it and the test fails.
template <class F> void WithinTenSeconds(const std::string& fifo, F&& what) {
    auto done = std::async(std::launch::async, std::forward<F>(what));
    if (done.wait_for(std::chrono::seconds(10)) == std::future_status::timeout) {
        close(open(fifo.c_str(), O_WRONLY | O_NONBLOCK));
        ADD_FAILURE() << "blocked on " << fifo;
    }
    done.get();
}

TEST_F(ModelTest, FifosAreRefusedWithoutWaitingForAWriter) {
    const std::string fifo = Dir / "x.txt";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    WithinTenSeconds(fifo, [&] { EXPECT_FALSE(Model.OpenPath(fifo)); });
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_TRUE(Contains(Ask.Errors[0], "not a regular file")) << Ask.Errors[0];
    Ask.OpenAnswers = {fifo};
    WithinTenSeconds(fifo, [&] { EXPECT_FALSE(Model.OpenInstrument()); });
    // A recent list that is a FIFO reads as an empty list.
    WithinTenSeconds(fifo, [&] { EXPECT_TRUE(RecentSongs(fifo).Paths().empty()); });
}

TEST_F(ModelTest, ACancelledRenderLeavesNoFileAndTheOutputPlaysOn) {
    const std::string wav = Dir / "song.wav";
    Ask.SaveAnswers = {wav};
    Ask.CancelAtProgress = 2;
    const int plays = Device.Plays;
    EXPECT_FALSE(Model.SaveResultAs());
    EXPECT_TRUE(Ask.Errors.empty()) << "a cancel is no error";
    EXPECT_EQ(Ask.ProgressCalls, 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(Dir.Path), fs::directory_iterator()), 0)
        << "nothing of the partial file remains";
    EXPECT_EQ(Device.Plays, plays + 1) << "the live output plays again";
}

TEST_F(ModelTest, PlacedNotesAndEnvelopesKeepValuesTheMixerUses) {
    // The Volume and Pan boxes' texts and the placed note's Vol and Pan.
    const std::tuple<const char*, const char*, int32_t, int32_t> cases[] = {
        {"-5", "-1", 0, 0}, {"300", "256", 258, 255}, {"258", "255", 258, 255}};
    int32_t time = 0;
    for (const auto& [vol, pan, Vol, Pan] : cases) {
        Model.SetNoteTexts(vol, pan);
        Model.PlaceNote(time, 30);
        EXPECT_EQ(Song.Patterns[0].Points[time], (TIdPoint{time, 30, 0, Vol, Pan})) << vol;
        ++time;
    }
    Model.SetEnvelope(0, -1);
    EXPECT_EQ(Model.EditedEnv()->Attack, 0) << "a negative duration is refused";
    TTrack song;
    ReadSongText(song, Saved());
    EXPECT_EQ(song.Patterns[0], Song.Patterns[0]) << "what was placed reads back as it was saved";
}

// A zero byte ends what the reader reads: Open says so and the first Save asks. Tables left out
// for the reader's limits are named too.
TEST_F(ModelTest, WhatOpenCouldNotReadIsToldAndNotSilentlyCut) {
    MakeSong({kCode100});
    std::string text = SongText(Built);
    text.insert(200, 1, '\0');
    const std::string path = Dir / "zero.txt";
    WriteFile(path, text);
    ASSERT_TRUE(Model.OpenPath(path));
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_TRUE(Contains(Ask.Errors[0], "holds a zero byte at 200; what follows was not read"));
    Ask.ConfirmAnswers = {false};
    EXPECT_FALSE(Model.Save());
    EXPECT_EQ(ReadFile(path), text);
    Ask.ConfirmAnswers = {true};
    EXPECT_TRUE(Model.Save());
    EXPECT_EQ(Ask.Confirmed.size(), 2u);
    EXPECT_TRUE(Model.Save());
    EXPECT_EQ(Ask.Confirmed.size(), 2u) << "asked before the first save only";

    // A table left out for the reader's limits is named.
    WriteFile(path, " Const\r\n  TracksIndex: array [0..1000000] of Longint=(0);\r\n  Point0: "
                    "array [0..0] of TIdPoint=(( Time: 1; Tone: 2; Instrument: 0; Vol: 3; "
                    "Pan: 4));\r\n  Patterns: array [0..0] of TPattern=(( PointsCount: 1; "
                    "Points: @Point0 ));\r\n");
    ASSERT_TRUE(Model.OpenPath(path));
    ASSERT_EQ(Ask.Errors.size(), 2u);
    EXPECT_TRUE(Contains(Ask.Errors[1], "TracksIndex")) << Ask.Errors[1];
    EXPECT_EQ(Song.TrackIndexCount(), 0);
}

// Another window (or program) wrote the song since it was opened: Save asks.
TEST_F(ModelTest, ASongChangedOnDiskIsNotOverwrittenSilently) {
    const std::string path = Dir / "song.txt";
    Ask.SaveAnswers = {path};
    ASSERT_TRUE(Model.SaveAs());
    ASSERT_TRUE(Model.Save());
    EXPECT_TRUE(Ask.Confirmed.empty());
    const std::string other = "the other window's song";
    WriteFile(path, other);
    Ask.ConfirmAnswers = {false};
    EXPECT_FALSE(Model.Save());
    ASSERT_EQ(Ask.Confirmed.size(), 1u);
    EXPECT_TRUE(Contains(Ask.Confirmed[0], "was changed on disk"));
    EXPECT_EQ(ReadFile(path), other);
    Ask.ConfirmAnswers = {true};
    EXPECT_TRUE(Model.Save());
    EXPECT_NE(ReadFile(path), other);
}

TEST_F(ModelTest, OpenStartsFromTheNewSongsSpeedAndRow) {
    Built = NewSong();
    Built.Speed = 240;
    Built.Row = 7;
    const std::string path = WriteSong("fast.txt");
    WriteFile(Dir / "plain.txt", " Const\r\n  TracksIndex: array [0..0] of Longint=(0);\r\n");
    ASSERT_TRUE(Model.OpenPath(path));
    EXPECT_EQ(Song.Speed, 240);
    ASSERT_TRUE(Model.OpenPath(Dir / "plain.txt"));
    EXPECT_EQ(Song.Speed, 128);
    EXPECT_EQ(Song.Row, 16);
}

// Only a song whose file is gone leaves the recent list; names are kept as the system's bytes.
TEST_F(ModelTest, RecentSongsStayUnlessTheirFileIsGone) {
    const std::string latin1 = Dir / "caf\xe9.txt";
    ASSERT_TRUE(Model.OpenPath(WriteSong("caf\xe9.txt")));
    EXPECT_EQ(Model.FileName(), latin1);
    WriteFile(latin1, "no song today");
    EXPECT_FALSE(Model.OpenRecent(0));
    EXPECT_EQ(Model.RecentPaths().size(), 1u);
    fs::remove(latin1);
    EXPECT_FALSE(Model.OpenRecent(0));
    EXPECT_TRUE(Model.RecentPaths().empty());
}

// The state folder cannot be written: said once, and again once it can.
TEST_F(ModelBase, ARecoveryFolderThatCannotBeWrittenIsSaidOnce) {
    WriteFile(Dir / "blocker", "a file where the folder should be");
    Files.RecoveryFolder = Dir / "blocker/state";
    EditorModel model(View, Ask, Live, *Scripts, Files);
    model.Create();
    model.PlaceNote(1, 40);
    model.WriteRecovery();
    EXPECT_TRUE(model.Status().starts_with("Unsaved work cannot be kept for recovery: Cannot lock"))
        << model.Status();
    model.RunCode();
    model.PlaceNote(2, 40);
    model.WriteRecovery();
    EXPECT_EQ(model.Status(), "Ok") << "said once";
    fs::remove(Dir / "blocker");
    model.WriteRecovery();
    EXPECT_EQ(model.Status(), "Unsaved work is kept for recovery again");
    EXPECT_TRUE(model.RecoveryFile());
    model.Destroy();
}

// A left-over recovery file is offered by one window only, and a restore that finds no song
// says so.
TEST_F(ModelBase, ARecoveryIsOfferedByOneWindowAndAFailedRestoreSaysSo) {
    const std::string state = Dir / "state";
    fs::create_directories(state);
    const std::string left = state + "/recovery-999999.txt";
    // The file, whether it goes while the question is open, and what is said.
    const std::tuple<std::string, bool, const char*> cases[] = {
        {SongText(NewSong()), true, "was not restored. Cannot read"},
        {std::string("\177ELF\0\0", 6), false, "holds no song"}};
    for (const auto& [text, removedMeanwhile, error] : cases) {
        WriteFile(left, text);
        EditorModel model(View, Ask, Live, *Scripts, Files);
        model.Create();
        Ask.Errors.clear();
        Ask.RestoreAnswers = {true};
        Ask.WhileAskingRestore = [&] {
            EXPECT_FALSE(RecoveryStore(state).FindLeftOver()) << "offered by one window only";
            if (removedMeanwhile) {
                fs::remove(left);
            }
        };
        EXPECT_FALSE(model.OfferRecovery());
        ASSERT_EQ(Ask.Errors.size(), 1u);
        EXPECT_TRUE(Contains(Ask.Errors[0], error)) << Ask.Errors[0];
        EXPECT_EQ(model.Song().InstrumentCount(), 10) << "the new song stays";
        model.Destroy();
    }
}

} // namespace
