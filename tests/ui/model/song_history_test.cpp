// Undo and redo on the editor model: every kind of change goes back to the song text it had
// and forward again, one gesture or one box makes one step, the saved mark follows the
// history, New forgets it, and samples come back from the code.
#include "model_fixture.h"

#include <algorithm>
#include <functional>

using namespace kellix;
using namespace kellix::test;

namespace {

class SongHistoryTest : public ModelTest {
  protected:
    void SetUp() override {
        ModelTest::SetUp();
        OpenSong();
    }
    int32_t DataSize(int32_t instrument) const {
        const SampleBlock* sample = SampleOf(instrument);
        return sample ? int32_t{sample->DataSize} : -1;
    }

    // Opens a song of three instruments whose codes make samples, three notes of instrument 1
    // in pattern 1 and patterns 2 and 3 in track 1.
    void OpenSong() {
        MakeSong({kCode100, kCode300, kCode100});
        for (int32_t i = 0; i < 3; ++i) {
            AppendPoint(Built.Patterns.EditAt(0), {i, 30 + i, 0, 256, 128});
        }
        AppendPatternIndex(Built.Tracks.EditAt(0), 1);
        AppendPatternIndex(Built.Tracks.EditAt(0), 2);
        Ask.SaveChangesAnswers = {SaveAnswer::Discard};
        Ask.OpenAnswers = {WriteSong("song.txt")};
        ASSERT_TRUE(Model.Open());
        ASSERT_FALSE(Model.CanUndo());
    }

    // Every instrument has the sample its stored code makes; reading each one whole lets the
    // address sanitizer see a block that was released.
    void ExpectSamplesFromCode() {
        for (int32_t i = 0; i < Song.InstrumentCount(); ++i) {
            const std::string& code = CodeOf(i);
            const int32_t bytes = code == kCode100 ? 200 : code == kCode300 ? 1200 : -1;
            ASSERT_EQ(DataSize(i), bytes) << "instrument " << i;
            if (bytes > 0) {
                const uint8_t* data = SampleData(SampleOf(i));
                EXPECT_EQ(std::count(data, data + bytes, 0), bytes) << "a new sample is silent";
            }
        }
    }
};

TEST_F(SongHistoryTest, EveryKindOfChangeGoesBackAndForthInOneStep) {
    using M = EditorModel;
    const auto count = [](CountEdit edit, const char* text) {
        return [=](M& m) { m.CommitCount(edit, text); };
    };
    const auto code = [](std::function<void(M&)> store) {
        return [=](M& m) { (m.SetCodeText(kCode300), store(m)); };
    };
    const auto cut = [](EditFocus focus) {
        return [=](M& m) { focus == EditFocus::Pattern ? m.ClearPattern() : m.ClearTrack(); };
    };
    const std::pair<const char*, std::function<void(M&)>> cases[] = {
        {"place a note", [](M& m) { m.PlaceNote(5, 40); }},
        {"remove a note", [](M& m) { (m.BeginPatternGesture(), m.RemoveNote(1, 31)); }},
        {"add a pattern to a track", [](M& m) { m.TogglePatternInTrack(4); }},
        {"play-list entry", [](M& m) { m.SetPlayListTrack(3); }},
        {"shorter play list", count(CountEdit::TrackIndex, "4")},
        {"longer play list", count(CountEdit::TrackIndex, "14")},
        {"fewer tracks", count(CountEdit::TrackCount, "0")},
        {"Speed", count(CountEdit::SpeedTrack, "99")},
        {"fewer patterns", count(CountEdit::PatternCount, "0")},
        {"fewer instruments", count(CountEdit::InstrumentCount, "1")},
        {"no instruments", count(CountEdit::InstrumentCount, "0")},
        {"more instruments", count(CountEdit::InstrumentCount, "5")},
        {"SampleTone", count(CountEdit::SampleTone, "-7")},
        {"envelope", [](M& m) { m.SetEnvelope(2, 500); }},
        {"code stored by F9", code([](M& m) { m.RunCode(); })},
        {"code stored by a click", code([](M& m) { m.SelectInstrument(2); })},
        {"code stored by a count", code(count(CountEdit::InstrumentCount, "2"))},
        {"Cut of a pattern", cut(EditFocus::Pattern)},
        {"Cut of a track", cut(EditFocus::Track)}};
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        OpenSong();
        const std::string before = Saved();
        change(Model);
        const std::string after = Saved();
        ASSERT_NE(after, before);
        Model.Undo();
        EXPECT_EQ(Saved(), before);
        EXPECT_FALSE(Model.CanUndo()) << "one step";
        EXPECT_FALSE(Model.Changed()) << "back at the saved state";
        ExpectSamplesFromCode();
        Model.Redo();
        EXPECT_EQ(Saved(), after);
        EXPECT_TRUE(Model.Changed());
        ExpectSamplesFromCode();
    }
}

TEST_F(SongHistoryTest, SelectionsStayValidAfterUndo) {
    // Filled again as after a change of count where they no longer name something.
    Model.CommitCount(CountEdit::PatternCount, "20");
    Model.ShowPattern(15);
    Model.CommitCount(CountEdit::InstrumentCount, "5");
    Model.SelectInstrument(4);
    Model.Undo();
    Model.Undo();
    EXPECT_EQ(Model.EditedEnv(), &Song.Instrument[0].Env);
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[0]);

    // Undoing a play-list entry gives the Track box the entry's track again.
    Model.SelectPlayListRow(1);
    Model.SetPlayListTrack(5);
    Model.Undo();
    EXPECT_EQ(Model.ActiveTrack(), &Song.Tracks[1]);
}

TEST_F(SongHistoryTest, GesturesAndTypingMergeIntoOneStep) {
    const std::string start = Saved();
    // A right-button drag over the three notes, starting on the first.
    (Model.BeginPatternGesture(), Model.RemoveNote(0, 30));
    Model.RemoveNote(1, 31);
    Model.RemoveNote(2, 32);
    ASSERT_EQ(Song.Patterns[0].PointsCount(), 0);
    Model.Undo();
    EXPECT_FALSE(Model.CanUndo());

    // Typing 1, 12, 120 into one Env box; then another box.
    for (int32_t v : {1, 12, 120}) {
        Model.SetEnvelope(0, v);
    }
    const std::string typed = Saved();
    Model.SetEnvelope(1, 7);
    Model.Undo();
    EXPECT_EQ(Saved(), typed);
    Model.Undo();
    EXPECT_EQ(Saved(), start);
}

TEST_F(SongHistoryTest, AThousandStepsAndNewForgetsThem) {
    Model.PlaceNote(100, 50);
    const std::string first = Saved();
    for (int32_t t = 101; t < 1101; ++t) {
        Model.PlaceNote(t, 50);
    }
    int steps = 0;
    for (; Model.CanUndo(); ++steps) {
        Model.Undo();
    }
    EXPECT_EQ(steps, 1000);
    EXPECT_EQ(Saved(), first) << "the oldest step went";
    EXPECT_TRUE(Model.Changed()) << "the saved state is out of reach";

    ASSERT_TRUE(Model.CanRedo());
    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    ASSERT_TRUE(Model.New());
    EXPECT_FALSE(Model.CanUndo() || Model.CanRedo());
}

TEST_F(SongHistoryTest, TheChangedMarkFollowsTheSavedState) {
    // Saved in the middle: undoing past it or redoing back to it.
    Model.PlaceNote(5, 40);
    Model.CommitCount(CountEdit::PatternRow, "20");
    Ask.SaveAnswers = {Dir / "saved.txt"};
    ASSERT_TRUE(Model.SaveAs());
    Model.Undo();
    EXPECT_TRUE(Model.Changed());
    Model.Redo();
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
    EXPECT_EQ(DataSize(0), 1200);
    Model.Undo();
    EXPECT_EQ(Model.Code(), kCode100);
    EXPECT_EQ(DataSize(0), 200);
    Model.Redo();
    EXPECT_EQ(DataSize(0), 1200);
    EXPECT_EQ(Saved(), song) << "the song itself never changed";
}

} // namespace
