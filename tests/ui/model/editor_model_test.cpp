// The editor model driven directly: count edits, the instrument panel and the File menu's
// commands, with prepared dialog answers and a silent sound device.
#include "model_fixture.h"

#include <tuple>

using namespace kellix;
using namespace kellix::test;

namespace {

TEST_F(ModelTest, CountEditsTakeValidTextsAndRefuseOthers) {
    using C = CountEdit;
    // The box, the text, whether it is taken and the song's value afterwards.
    const std::tuple<CountEdit, const char*, bool, const char*> cases[] = {
        {C::PatternCount, "12", true, "12"},       {C::PatternCount, "12a", false, "12"},
        {C::PatternCount, "65537", false, "12"},   {C::PatternCount, "  $C", true, "12"},
        {C::TrackIndex, "1000001", false, "10"},   {C::SpeedTrack, "-3", true, "-3"},
        {C::PatternRow, "2147483648", false, "16"}};
    for (const auto& [edit, text, taken, expected] : cases) {
        View.Parts = 0;
        EXPECT_EQ(Model.CommitCount(edit, text), taken) << text;
        EXPECT_EQ(Model.CountText(edit), expected) << text;
        EXPECT_TRUE(taken || (View.Parts & kViewCounts)) << "the song's value goes back";
    }
    // A longer play list than there are tracks: new entries continue the track numbers.
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackIndex, "12"));
    EXPECT_EQ(Song.TracksIndex[11], 1);
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackCount, "0"));
    EXPECT_EQ(Model.ActiveTrack(), nullptr);
}

TEST_F(ModelTest, SwitchingInstrumentsStoresAndLoadsCode) {
    // The first click stores the default code shown at start for instrument 1.
    Model.SelectInstrument(2);
    EXPECT_EQ(CodeOf(0), DefaultInstrumentCode);
    ASSERT_NE(SampleOf(2), nullptr) << "a click generates a missing sample";

    Model.SelectInstrument(0);
    Model.SetCodeText(kCode100);
    const SampleBlock* before = SampleOf(0);
    Model.SelectInstrument(3);
    Model.SelectInstrument(0);
    EXPECT_EQ(Model.Code(), kCode100) << "the edited text was kept for instrument 1";
    EXPECT_EQ(SampleOf(0), before) << "editing alone does not regenerate";

    // A new instrument count keeps the codes, the shown one too, and the samples.
    Model.RunCode();
    const SampleBlock* first = SampleOf(0);
    Model.SelectInstrument(3);
    Model.SetCodeText(kCode300);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "12"));
    EXPECT_EQ(CodeOf(3), kCode300);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "1"));
    EXPECT_EQ(SampleOf(0), first);
}

TEST_F(ModelTest, NewAndOpenAskAboutUnsavedChanges) {
    MakeSong({kCode100, kCode300});
    const std::string path = WriteSong("song.txt");
    Model.SetCodeText(kCode100);
    Ask.SaveChangesAnswers = {SaveAnswer::Cancel};
    EXPECT_FALSE(Model.Open());
    EXPECT_TRUE(Ask.OpenAsked.empty()) << "Cancel stops before the dialog";

    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    Ask.OpenAnswers = {path};
    ASSERT_TRUE(Model.Open());
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    EXPECT_NE(SampleOf(1), nullptr);
    EXPECT_FALSE(Model.Changed());

    // "Save" answered to the question saves under the song's name before New.
    Model.PlaceNote(5, 40);
    Ask.SaveChangesAnswers = {SaveAnswer::Save};
    ASSERT_TRUE(Model.New());
    EXPECT_NE(ReadFile(path).find("Time: 5;"), std::string::npos);
    EXPECT_EQ(Song.InstrumentCount(), 10);
    Model.New(); // nothing changed: no question
    EXPECT_EQ(Ask.SaveChangesAsked, 3);
}

TEST_F(ModelTest, OpenOfAnUnreadableFileChangesNothing) {
    const std::string before = Saved();
    WriteFile(Dir / "binary.txt", std::string("\177ELF\2\1\1\0\0\0", 10));
    for (auto [name, reason] :
         {std::pair{"missing.txt", "No such file"}, std::pair{"binary.txt", "holds no song"}}) {
        Ask.Errors.clear();
        Ask.OpenAnswers = {Dir / name};
        EXPECT_FALSE(Model.Open());
        ASSERT_EQ(Ask.Errors.size(), 1u);
        EXPECT_NE(Ask.Errors[0].find(reason), std::string::npos);
        EXPECT_EQ(Saved(), before);
        EXPECT_EQ(Model.Title(), "Kellix");
    }
}

TEST_F(ModelTest, SaveAsStoresTheShownCodeAndSaveReusesTheName) {
    EXPECT_FALSE(Model.Save()) << "a cancelled dialog";
    const std::string path = Dir / "new.txt";
    Ask.SaveAnswers = {path};
    ASSERT_TRUE(Model.SaveAs());
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    EXPECT_NE(ReadFile(path).find(DefaultInstrumentCode), std::string::npos)
        << "instrument 1 is saved with the code the box shows";

    Model.PlaceNote(1, 50);
    ASSERT_TRUE(Model.Save());
    EXPECT_EQ(Ask.SaveAsked.size(), 2u) << "no dialog once the song has a name";
    EXPECT_NE(ReadFile(path).find("Tone: 50;"), std::string::npos);

    // A save that fails keeps the name and the old file.
    WriteFile(Dir / "file", "old");
    Ask.SaveAnswers = {Dir / "file/song.txt"};
    EXPECT_FALSE(Model.SaveAs());
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_EQ(Model.FileName(), path);
    EXPECT_EQ(ReadFile(Dir / "file"), "old");
}

TEST_F(ModelTest, InstrumentCodeFilesAreByteForByte) {
    const std::string bytes = " Result:=CreateSample( 100 , 1 );\n// lf only \xE9\r\n";
    const std::string in = Dir / "in.txt";
    WriteFile(in, bytes + std::string(1, '\0') + "after zero");
    Ask.OpenAnswers = {in};
    ASSERT_TRUE(Model.OpenInstrument());
    EXPECT_EQ(Model.Code(), bytes);
    EXPECT_NE(SampleOf(0), nullptr) << "the code ran for the current instrument";

    Model.SelectInstrument(9);
    const std::string out = Dir / "out.txt";
    Ask.SaveAnswers = {out};
    ASSERT_TRUE(Model.SaveInstrumentAs());
    EXPECT_EQ(Ask.SaveAsked.back().FileName, "instrument0010");
    EXPECT_EQ(ReadFile(out), DefaultInstrumentCode);
}

TEST_F(ModelTest, SaveResultRendersWithProgressAndReportsFailures) {
    const std::string wav = Dir / "song.wav";
    Ask.SaveAnswers = {wav, std::nullopt, Dir / "no-such-folder/song.wav"};
    ASSERT_TRUE(Model.SaveResultAs());
    EXPECT_GT(Ask.ProgressCalls, 0);
    EXPECT_FALSE(Ask.InProgress);
    EXPECT_EQ(ReadFile(wav).size(), 44u + 2621440u);
    EXPECT_EQ(Model.Title(), "Kellix") << "the WAV file is not the song's name";
    Model.SaveAs();
    EXPECT_EQ(Ask.SaveAsked.back().FileName, "untitled.txt") << "nor what Save as.. offers";
    EXPECT_FALSE(Model.SaveResultAs());
    ASSERT_EQ(Ask.Errors.size(), 1u);

    // With the song saved under a name, the result is offered beside it as a WAV file, and the
    // song's own file is refused.
    const std::string song = Dir / "tune.txt";
    Ask.SaveAnswers = {song, song};
    ASSERT_TRUE(Model.SaveAs());
    const std::string text = ReadFile(song);
    EXPECT_FALSE(Model.SaveResultAs());
    EXPECT_EQ(Ask.SaveAsked.back().FileName, Dir / "tune.wav");
    EXPECT_EQ(ReadFile(song), text);
    EXPECT_EQ(Ask.Errors.size(), 2u);
    Model.SaveAs();
    EXPECT_EQ(Ask.SaveAsked.back().FileName, song) << "Save as.. offers the song's own name";
}

// A typed text naming no pattern leaves none selected: Cut has nothing to empty.
TEST_F(ModelTest, CutWithoutASelectedPatternDoesNothing) {
    Model.PlaceNote(0, 60);
    Model.ShowPattern(-1);
    Model.ClearPattern();
    EXPECT_EQ(Song.Patterns[0].PointsCount(), 1);
}

} // namespace
