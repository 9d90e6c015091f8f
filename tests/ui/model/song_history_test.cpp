// Undo and redo on the editor model: every kind of change goes back to the song text it had
// and forward again, one gesture or one box makes one step, the saved mark follows the
// history, New and Open forget it, and samples come back from the code. The history's memory
// for a song of 10,000 notes.
#include "model_fixture.h"

#include "ui/model/song_history.h"

#include <functional>
#include <iostream>

using namespace kellix;
using namespace kellix::test;

namespace {

class SongHistoryTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        OpenSong();
    }
    static int32_t DataSize(int32_t instrument) {
        const SampleBlock* sample = Song.Instrument[instrument].Sample;
        return sample ? int32_t{sample->DataSize} : -1;
    }

    // Opens a song of three instruments whose codes make samples, three notes of instrument 1
    // in pattern 1 and patterns 2 and 3 in track 1.
    void OpenSong() {
        MakeSong({kCode100, kCode300, kCode100});
        ResizePoints(Song, 0, 3);
        for (int32_t i = 0; i < 3; ++i) {
            Song.Patterns[0].Points[i] = {i, 30 + i, 0, 256, 128};
        }
        ResizePatternIndex(Song, 0, 2);
        Song.Tracks[0].PatternIndex[0] = 1;
        Song.Tracks[0].PatternIndex[1] = 2;
        Ask.SaveChangesAnswers = {SaveAnswer::Discard};
        Ask.OpenAnswers = {WriteSong("song.txt")};
        ASSERT_TRUE(Model.Open());
        ASSERT_FALSE(Model.Changed());
        ASSERT_FALSE(Model.CanUndo());
    }

    // Every instrument has the sample its stored code makes; reading each one whole lets the
    // address sanitizer see a block that was released.
    void ExpectSamplesFromCode() {
        for (int32_t i = 0; i < Song.InstrumentCount; ++i) {
            const char* code = i < InstrumentCode.Count ? InstrumentCode.Texts[i] : nullptr;
            const int32_t bytes = !code                           ? -1
                                  : std::string(code) == kCode100 ? 200
                                  : std::string(code) == kCode300 ? 1200
                                                                  : -1;
            const SampleBlock* sample = Song.Instrument[i].Sample;
            if (bytes < 0) {
                EXPECT_EQ(sample, nullptr) << "instrument " << i;
                continue;
            }
            ASSERT_NE(sample, nullptr) << "instrument " << i;
            const int32_t size = sample->DataSize; // packed: read by value
            ASSERT_EQ(size, bytes) << "instrument " << i;
            int sum = 0;
            for (int32_t k = 0; k < size; ++k) {
                sum += SampleData(sample)[k];
            }
            EXPECT_EQ(sum, 0) << "a new sample is silent";
        }
    }
};

TEST_F(SongHistoryTest, EveryKindOfChangeGoesBackAndForthInOneStep) {
    using M = EditorModel;
    const struct {
        const char* name;
        std::function<void(M&)> change;
    } cases[] = {
        {"place a note", [](M& m) { m.PatternMouseDown(MouseButton::Left, 5, 40); }},
        {"remove a note", [](M& m) { m.PatternMouseDown(MouseButton::Right, 1, 31); }},
        {"add a pattern to a track", [](M& m) { m.TrackEditMouseDown(4); }},
        {"remove a pattern from a track", [](M& m) { m.TrackEditMouseDown(1); }},
        {"play-list entry", [](M& m) { m.TrackChange(3); }},
        {"shorter play list", [](M& m) { m.CommitCount(CountEdit::TrackIndex, "4"); }},
        {"longer play list", [](M& m) { m.CommitCount(CountEdit::TrackIndex, "14"); }},
        {"fewer tracks", [](M& m) { m.CommitCount(CountEdit::TrackCount, "0"); }},
        {"more tracks", [](M& m) { m.CommitCount(CountEdit::TrackCount, "12"); }},
        {"Speed", [](M& m) { m.CommitCount(CountEdit::SpeedTrack, "99"); }},
        {"Row", [](M& m) { m.CommitCount(CountEdit::PatternRow, "32"); }},
        {"fewer patterns", [](M& m) { m.CommitCount(CountEdit::PatternCount, "0"); }},
        {"more patterns", [](M& m) { m.CommitCount(CountEdit::PatternCount, "20"); }},
        {"fewer instruments", [](M& m) { m.CommitCount(CountEdit::InstrumentCount, "1"); }},
        {"no instruments", [](M& m) { m.CommitCount(CountEdit::InstrumentCount, "0"); }},
        {"more instruments", [](M& m) { m.CommitCount(CountEdit::InstrumentCount, "5"); }},
        {"SampleTone", [](M& m) { m.CommitCount(CountEdit::SampleTone, "-7"); }},
        {"envelope", [](M& m) { m.StoreEnv(2, 500); }},
        {"code stored by F9",
         [](M& m) {
             m.SetCodeText(kCode300);
             m.GeneratorExe();
         }},
        {"code stored by a click on another instrument",
         [](M& m) {
             m.SetCodeText(kCode300);
             m.InstrumentsClick(2);
         }},
        {"code stored with a new instrument count",
         [](M& m) {
             m.SetCodeText(kCode300);
             m.CommitCount(CountEdit::InstrumentCount, "2");
         }},
        {"Cut of a pattern",
         [](M& m) {
             m.SetEditFocus(EditFocus::Pattern);
             m.Cut();
         }},
        {"Cut of a track",
         [](M& m) {
             m.SetEditFocus(EditFocus::Track);
             m.Cut();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        OpenSong();
        const std::string before = Saved();
        c.change(Model);
        const std::string after = Saved();
        ASSERT_NE(after, before);
        EXPECT_TRUE(Model.Changed());
        ASSERT_TRUE(Model.CanUndo());

        Model.Undo();
        EXPECT_EQ(Saved(), before);
        EXPECT_FALSE(Model.CanUndo()) << "one step";
        EXPECT_FALSE(Model.Changed()) << "back at the saved state";
        ExpectSamplesFromCode();
        if (CurrentInstrument >= 0 && CurrentInstrument < InstrumentCode.Count) {
            EXPECT_EQ(Model.Code(), InstrumentCode.Texts[CurrentInstrument]);
        }

        Model.Redo();
        EXPECT_EQ(Saved(), after);
        EXPECT_FALSE(Model.CanRedo());
        EXPECT_TRUE(Model.Changed());
        ExpectSamplesFromCode();
        Model.Undo();
        EXPECT_EQ(Saved(), before);
    }
}

TEST_F(SongHistoryTest, SelectionsStayValidAfterUndo) {
    // Kept where they still name something.
    Model.InstrumentsClick(2);
    Model.PatternChange(3);
    Model.CommitCount(CountEdit::SampleTone, "5");
    Model.Undo();
    EXPECT_EQ(Model.ActiveInstrument(), &Song.Instrument[2]);
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[3]);

    // Filled again as after a change of count where they do not.
    Model.CommitCount(CountEdit::PatternCount, "20");
    Model.PatternChange(15);
    Model.CommitCount(CountEdit::InstrumentCount, "5");
    Model.InstrumentsClick(4);
    Model.Undo();
    Model.Undo();
    EXPECT_EQ(Model.ActiveInstrument(), &Song.Instrument[0]);
    EXPECT_EQ(Model.AttachedEnv(), &Song.Instrument[0].Env);
    EXPECT_EQ(Model.Code(), kCode100);
    EXPECT_EQ(Model.PatternItem(), 0);
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[0]);

    // Undoing a play-list entry gives the Track box the entry's track again.
    Model.PlayListClick(1);
    Model.TrackChange(5);
    Model.Undo();
    EXPECT_EQ(Model.TrackItem(), 1);
    EXPECT_EQ(Model.ActiveTrack(), &Song.Tracks[1]);
}

TEST_F(SongHistoryTest, GesturesAndTypingMergeIntoOneStep) {
    const std::string start = Saved();
    // A right-button drag over the three notes, starting on the first.
    Model.PatternMouseDown(MouseButton::Right, 0, 30);
    Model.PatternRightDrag(1, 31);
    Model.PatternRightDrag(1, 31);
    Model.PatternRightDrag(2, 32);
    ASSERT_EQ(Song.Patterns[0].PointsCount, 0);
    Model.Undo();
    EXPECT_EQ(Saved(), start);
    EXPECT_FALSE(Model.CanUndo());

    // Two drags starting on empty cells are two steps.
    Model.PatternMouseDown(MouseButton::Right, 9, 9);
    Model.PatternRightDrag(0, 30);
    Model.PatternMouseDown(MouseButton::Right, 9, 9);
    Model.PatternRightDrag(1, 31);
    Model.Undo();
    EXPECT_EQ(Song.Patterns[0].PointsCount, 2);
    Model.Undo();
    EXPECT_EQ(Saved(), start);

    // Typing 1, 12, 120 into one Env box; then another box; then the first again.
    for (int32_t v : {1, 12, 120}) {
        Model.StoreEnv(0, v);
    }
    const std::string typed = Saved();
    Model.StoreEnv(1, 7);
    Model.StoreEnv(0, 3);
    Model.Undo();
    Model.Undo();
    EXPECT_EQ(Saved(), typed);
    Model.Undo();
    EXPECT_EQ(Saved(), start);

    // Typing into the Track box changes one play-list entry step by step.
    Model.TrackChange(0);
    Model.TrackChange(1);
    Model.TrackChange(9);
    Model.Undo();
    EXPECT_EQ(Saved(), start);
    EXPECT_FALSE(Model.CanUndo());
}

TEST_F(SongHistoryTest, AtLeastAThousandSteps) {
    const std::string start = Saved();
    Model.PatternMouseDown(MouseButton::Left, 100, 50);
    const std::string first = Saved();
    for (int32_t t = 101; t < 1101; ++t) {
        Model.PatternMouseDown(MouseButton::Left, t, 50);
    }
    ASSERT_EQ(Song.Patterns[0].PointsCount, 1004);
    int steps = 0;
    while (Model.CanUndo()) {
        Model.Undo();
        ++steps;
    }
    EXPECT_EQ(steps, 1000);
    EXPECT_EQ(Saved(), first) << "the oldest step went";
    EXPECT_TRUE(Model.Changed()) << "the saved state is out of reach";
    while (Model.CanRedo()) {
        Model.Redo();
    }
    EXPECT_EQ(Song.Patterns[0].PointsCount, 1004);
    EXPECT_NE(Saved(), start);
}

TEST_F(SongHistoryTest, NewAndOpenForgetTheHistory) {
    Model.PatternMouseDown(MouseButton::Left, 5, 40);
    Model.PatternMouseDown(MouseButton::Left, 6, 40);
    Model.Undo();
    ASSERT_TRUE(Model.CanUndo() && Model.CanRedo());
    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    ASSERT_TRUE(Model.New());
    const std::string fresh = Saved();
    EXPECT_FALSE(Model.CanUndo());
    EXPECT_FALSE(Model.CanRedo());
    Model.Undo();
    Model.Redo();
    EXPECT_EQ(Saved(), fresh);
    EXPECT_FALSE(Model.Changed());

    Model.CommitCount(CountEdit::SpeedTrack, "3");
    OpenSong();
    EXPECT_FALSE(Model.CanRedo());
}

TEST_F(SongHistoryTest, TheChangedMarkFollowsTheSavedState) {
    const std::string path = Dir / "saved.txt";
    Model.PatternMouseDown(MouseButton::Left, 5, 40);
    EXPECT_TRUE(Model.Changed());
    Model.Undo();
    EXPECT_FALSE(Model.Changed());
    Model.Redo();
    EXPECT_TRUE(Model.Changed());

    // Saved in the middle: undoing past it or redoing back to it.
    Model.CommitCount(CountEdit::PatternRow, "20");
    Ask.SaveAnswers = {path};
    ASSERT_TRUE(Model.SaveAs());
    EXPECT_FALSE(Model.Changed());
    Model.Undo();
    EXPECT_TRUE(Model.Changed());
    Model.Undo();
    EXPECT_TRUE(Model.Changed());
    Model.Redo();
    Model.Redo();
    EXPECT_FALSE(Model.Changed());
    // Typing into one Env box across a save: the typing after it is a change again.
    Model.StoreEnv(0, 1);
    ASSERT_TRUE(Model.Save());
    Model.StoreEnv(0, 12);
    EXPECT_TRUE(Model.Changed());
    Model.Undo();
    EXPECT_FALSE(Model.Changed());
    // A new change where the saved state was on the redo side: it cannot come back.
    Model.Undo();
    Model.CommitCount(CountEdit::SpeedTrack, "1");
    Model.Undo();
    EXPECT_TRUE(Model.Changed());

    // The code box: text the model did not give it is a change until it holds that text again.
    ASSERT_TRUE(Model.Save());
    const std::string shown = Model.Code();
    Model.SetCodeText(kCode300);
    EXPECT_TRUE(Model.Changed());
    Model.SetCodeText(shown);
    EXPECT_FALSE(Model.Changed());
}

TEST_F(SongHistoryTest, OpenInstrumentGivesBackTheCodeBoxAndTheSample) {
    const std::string file = Dir / "code.txt";
    WriteFile(file, kCode300);
    const std::string song = Saved();
    Ask.OpenAnswers = {file};
    ASSERT_TRUE(Model.OpenInstrument());
    EXPECT_EQ(Model.Code(), kCode300);
    EXPECT_EQ(DataSize(0), 1200);
    EXPECT_TRUE(Model.Changed());

    Model.Undo();
    EXPECT_EQ(Model.Code(), kCode100);
    EXPECT_EQ(DataSize(0), 200);
    EXPECT_FALSE(Model.Changed());
    Model.Redo();
    EXPECT_EQ(Model.Code(), kCode300);
    EXPECT_EQ(DataSize(0), 1200);
    EXPECT_EQ(Saved(), song) << "the song itself never changed";

    // F9 stores it; another instrument is shown; both steps go back.
    Model.GeneratorExe();
    Model.InstrumentsClick(1);
    Model.Undo();
    EXPECT_EQ(Model.Code(), kCode300) << "instrument 2 is shown";
    EXPECT_STREQ(InstrumentCode.Texts[0], kCode100);
    EXPECT_EQ(DataSize(0), 200);
    Model.Undo();
    EXPECT_EQ(DataSize(0), 200);
    EXPECT_EQ(Model.Code(), kCode300) << "the code box of instrument 1 is not shown";
    EXPECT_EQ(Saved(), song);
}

// The history's own accounting for 500 steps on a song of 100 patterns of 100 notes placed one
// by one: each step copies the one pattern it changed.
TEST(SongHistoryMemory, TenThousandNotesPlacedOneByOne) {
    TTrack song;
    TInstrumentCode code;
    NewSong(song, code);
    ResizePatterns(song, 100);
    SongHistory history(500);
    for (int32_t p = 0; p < 100; ++p) {
        for (int32_t t = 0; t < 100; ++t) {
            history.Record(ChangeKind::Edit, -1, song, code);
            TPattern& pattern = song.Patterns[p];
            const int32_t k = AppendPoint(pattern);
            pattern.Points[k] = {t, 40, 0, 256, 128};
        }
    }
    EXPECT_EQ(history.UndoSteps(), 500u);
    std::cout << "500 steps of a 10,000-note song: " << history.Bytes() << " bytes\n";
    // A pattern of 100 notes is 2,000 bytes, the whole song 200,000.
    EXPECT_LT(history.Bytes(), std::size_t{500} * 8000);
    EmptySong(song, code);
}

} // namespace
