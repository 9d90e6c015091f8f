// The editor model driven directly: count edits, the instrument panel and the File menu's
// commands, with prepared dialog answers and a silent sound device.
#include "model_fixture.h"

using namespace kellix;
using namespace kellix::test;

namespace {

TEST_F(ModelTest, CountEditsTakeValidTextsAndRefuseOthers) {
    struct Case {
        CountEdit edit;
        const char* text;
        bool taken;
        int32_t TTrack::*field;
        int32_t expected;
    } cases[] = {
        {CountEdit::PatternCount, "12", true, &TTrack::PatternCount, 12},
        {CountEdit::PatternCount, "12a", false, &TTrack::PatternCount, 12},
        {CountEdit::PatternCount, "", false, &TTrack::PatternCount, 12},
        {CountEdit::PatternCount, "-1", false, &TTrack::PatternCount, 12},
        {CountEdit::PatternCount, "65537", false, &TTrack::PatternCount, 12},
        {CountEdit::PatternCount, "  $C", true, &TTrack::PatternCount, 12},
        {CountEdit::TrackCount, "+4", true, &TTrack::TrackCount, 4},
        {CountEdit::TrackIndex, "1000001", false, &TTrack::TrackIndexCount, 10},
        {CountEdit::TrackIndex, "2147483647", false, &TTrack::TrackIndexCount, 10},
        {CountEdit::SpeedTrack, "-3", true, &TTrack::Speed, -3},
        {CountEdit::PatternRow, "0", true, &TTrack::Row, 0},
        {CountEdit::PatternRow, "2147483648", false, &TTrack::Row, 0},
    };
    for (const Case& c : cases) {
        View.Parts = 0;
        EXPECT_EQ(Model.CommitCount(c.edit, c.text), c.taken) << c.text;
        EXPECT_EQ(Song.*(c.field), c.expected) << c.text;
        EXPECT_TRUE(c.taken || (View.Parts & kViewCounts)) << "the song's value goes back";
    }
    EXPECT_EQ(Model.CountText(CountEdit::SpeedTrack), "-3");
    EXPECT_TRUE(Model.Changed());
}

TEST_F(ModelTest, ResizingCountsRefreshesSelections) {
    ASSERT_TRUE(Model.CommitCount(CountEdit::PatternCount, "12"));
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[0]);
    // A longer play list than there are tracks: new entries continue the track numbers.
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackIndex, "12"));
    EXPECT_EQ(Song.TracksIndex[11], 1);
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackCount, "0"));
    EXPECT_EQ(Model.TrackItem(), -1);
    EXPECT_EQ(Model.ActiveTrack(), nullptr);
}

TEST_F(ModelTest, InstrumentCountKeepsCodesAndSamples) {
    Model.SetCodeText(kCode100);
    Model.GeneratorExe();
    SampleBlock* first = Song.Instrument[0].Sample;
    ASSERT_NE(first, nullptr);
    Model.InstrumentsClick(3);
    Model.SetCodeText(kCode300); // shown, not stored yet
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "12"));
    EXPECT_EQ(InstrumentCode.Count, 12);
    EXPECT_EQ(Song.Instrument[0].Sample, first);
    EXPECT_STREQ(InstrumentCode.Texts[0], kCode100);
    EXPECT_STREQ(InstrumentCode.Texts[3], kCode300);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "1"));
    EXPECT_EQ(InstrumentCode.Count, 1);
    EXPECT_EQ(Song.Instrument[0].Sample, first);
}

TEST_F(ModelTest, SwitchingInstrumentsStoresAndLoadsCode) {
    // The first click stores the default code shown at start for instrument 1.
    Model.InstrumentsClick(2);
    EXPECT_STREQ(InstrumentCode.Texts[0], DefaultInstrumentCode);
    EXPECT_EQ(Model.Code(), DefaultInstrumentCode);
    ASSERT_NE(Song.Instrument[2].Sample, nullptr) << "a click generates a missing sample";
    ASSERT_FALSE(View.Drawn.empty());
    EXPECT_EQ(View.Drawn.back(), Song.Instrument[2].Sample);
    EXPECT_EQ(Model.AttachedEnv(), &Song.Instrument[2].Env);

    Model.InstrumentsClick(0);
    Model.SetCodeText(kCode100);
    SampleBlock* before = Song.Instrument[0].Sample;
    Model.InstrumentsClick(3);
    Model.InstrumentsClick(0);
    EXPECT_EQ(Model.Code(), kCode100) << "the edited text was kept for instrument 1";
    EXPECT_EQ(Song.Instrument[0].Sample, before) << "editing alone does not regenerate";

    Model.InstrumentsClick(10); // below the last item
    EXPECT_EQ(Model.ActiveInstrument(), nullptr);
    EXPECT_FALSE(Model.CommitCount(CountEdit::SampleTone, "5"));
}

TEST_F(ModelTest, NewAndOpenAskAboutUnsavedChanges) {
    MakeSong({kCode100, kCode300});
    const std::string path = WriteSong("song.txt");
    Model.New(); // nothing changed: no question
    EXPECT_EQ(Ask.SaveChangesAsked, 0);

    Model.SetCodeText(kCode100);
    Ask.SaveChangesAnswers = {SaveAnswer::Cancel};
    EXPECT_FALSE(Model.Open());
    EXPECT_EQ(Ask.SaveChangesAsked, 1);
    EXPECT_TRUE(Ask.OpenAsked.empty()) << "Cancel stops before the dialog";
    EXPECT_EQ(Model.Code(), kCode100);

    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    Ask.OpenAnswers = {path};
    ASSERT_TRUE(Model.Open());
    EXPECT_EQ(Ask.OpenAsked.back().Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(Ask.OpenAsked.back().DefaultExt, "*.txt");
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    EXPECT_EQ(Song.InstrumentCount, 2);
    EXPECT_NE(Song.Instrument[1].Sample, nullptr);
    EXPECT_EQ(Model.Code(), kCode100);
    EXPECT_FALSE(Model.Changed());

    // "Save" answered to the question saves under the song's name before New.
    Model.PatternMouseDown(MouseButton::Left, 5, 40);
    Ask.SaveChangesAnswers = {SaveAnswer::Save};
    ASSERT_TRUE(Model.New());
    EXPECT_NE(ReadFile(path).find("Time: 5;"), std::string::npos);
    EXPECT_EQ(Model.Title(), "Kellix");
    EXPECT_EQ(Song.InstrumentCount, 10);
}

TEST_F(ModelTest, OpenOfAnUnreadableFileChangesNothing) {
    Model.SetCodeText(kCode100);
    Model.GeneratorExe();
    const std::string before = Saved();
    WriteFile(Dir / "empty.txt", "");
    WriteFile(Dir / "binary.txt", std::string("\x7f"
                                              "ELF\x02\x01\x01\0\0\0",
                                              10));
    const std::pair<const char*, const char*> files[] = {
        {"missing.txt", "No such file"},
        {"empty.txt", "holds no song"},
        {"binary.txt", "holds no song"},
    };
    for (auto [name, reason] : files) {
        Ask.Errors.clear();
        Ask.SaveChangesAnswers = {SaveAnswer::Discard};
        Ask.OpenAnswers = {Dir / name};
        EXPECT_FALSE(Model.Open());
        ASSERT_EQ(Ask.Errors.size(), 1u);
        EXPECT_NE(Ask.Errors[0].find(name), std::string::npos);
        EXPECT_NE(Ask.Errors[0].find(reason), std::string::npos);
        EXPECT_EQ(Saved(), before);
        EXPECT_EQ(Model.Title(), "Kellix");
    }
}

TEST_F(ModelTest, SaveAsStoresTheShownCodeAndSaveReusesTheName) {
    Ask.SaveAnswers = {std::nullopt};
    EXPECT_FALSE(Model.Save()) << "a cancelled dialog";
    EXPECT_EQ(Model.Title(), "Kellix");

    const std::string path = Dir / "new.txt";
    Ask.SaveAnswers = {path};
    ASSERT_TRUE(Model.SaveAs());
    EXPECT_EQ(Ask.SaveAsked.back().Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    EXPECT_NE(ReadFile(path).find(
                  "GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );"),
              std::string::npos)
        << "instrument 1 is saved with the code the box shows";

    Model.PatternMouseDown(MouseButton::Left, 1, 50);
    const std::size_t asked = Ask.SaveAsked.size();
    ASSERT_TRUE(Model.Save());
    EXPECT_EQ(Ask.SaveAsked.size(), asked) << "no dialog once the song has a name";
    EXPECT_NE(ReadFile(path).find("Tone: 50;"), std::string::npos);
    EXPECT_FALSE(Model.Changed());

    // A save that fails keeps the name, the title and the old file.
    WriteFile(Dir / "file", "old");
    Ask.SaveAnswers = {Dir / "file/song.txt"};
    EXPECT_FALSE(Model.SaveAs());
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_NE(Ask.Errors[0].find("song.txt"), std::string::npos);
    EXPECT_EQ(Model.FileName(), path);
    EXPECT_EQ(ReadFile(Dir / "file"), "old");
}

TEST_F(ModelTest, InstrumentCodeFilesAreByteForByte) {
    const std::string bytes = " Result:=CreateSample( 100 , 1 );\n// lf only \xE9\r\n";
    const std::string in = Dir / "in.txt";
    WriteFile(in, bytes + std::string(1, '\0') + "after zero");
    Ask.OpenAnswers = {in};
    ASSERT_TRUE(Model.OpenInstrument());
    EXPECT_EQ(Ask.OpenAsked.back().Filter, "Code (*.TXT)|*.txt");
    EXPECT_EQ(Ask.OpenAsked.back().FileName, "*.txt");
    EXPECT_EQ(Model.Code(), bytes);
    EXPECT_NE(Song.Instrument[0].Sample, nullptr) << "the code ran for the current instrument";
    EXPECT_EQ(InstrumentCode.Texts[0], nullptr) << "the code list waits for the editor";

    Model.InstrumentsClick(9);
    const std::string out = Dir / "out.txt";
    Ask.SaveAnswers = {out};
    ASSERT_TRUE(Model.SaveInstrumentAs());
    EXPECT_EQ(Ask.SaveAsked.back().FileName, "instrument0010");
    EXPECT_EQ(Ask.SaveAsked.back().DefaultExt, "txt");
    EXPECT_EQ(ReadFile(out), DefaultInstrumentCode);
    // The save dialog remembers the file: Save as.. suggests it.
    Ask.SaveAnswers = {std::nullopt};
    Model.SaveAs();
    EXPECT_EQ(Ask.SaveAsked.back().FileName, out);
}

TEST_F(ModelTest, SaveResultRendersWithProgressAndReportsFailures) {
    const std::string wav = Dir / "song.wav";
    Ask.SaveAnswers = {wav};
    ASSERT_TRUE(Model.SaveResultAs());
    EXPECT_EQ(Ask.SaveAsked.back().Filter, "Audio files (*.wav)|*.wav");
    EXPECT_GT(Ask.ProgressCalls, 0);
    EXPECT_FALSE(Ask.InProgress);
    EXPECT_EQ(ReadFile(wav).size(), 44u + 2621440u);
    EXPECT_EQ(Model.Title(), "Kellix") << "the WAV file is not the song's name";

    Ask.SaveAnswers = {Dir / "no-such-folder/song.wav"};
    EXPECT_FALSE(Model.SaveResultAs());
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(Dir.Path / "no-such-folder"));
}

TEST_F(ModelTest, CutEmptiesTheSelectedPatternOrTheShownTrack) {
    Model.PatternMouseDown(MouseButton::Left, 0, 60);
    Model.PatternMouseDown(MouseButton::Left, 1, 61);
    EXPECT_EQ(Model.Focus(), EditFocus::Pattern);
    Model.PatternChange(-1); // a typed text naming no item: the shown pattern stays
    Model.Cut();
    EXPECT_EQ(Song.Patterns[0].PointsCount, 2);
    Model.PatternChange(0);
    Model.Cut();
    EXPECT_EQ(Song.Patterns[0].PointsCount, 0);

    Model.TrackEditMouseDown(3);
    Model.TrackEditMouseDown(5);
    ASSERT_EQ(Song.Tracks[0].PatternCount, 2);
    EXPECT_EQ(Model.Focus(), EditFocus::Track);
    Model.Cut();
    EXPECT_EQ(Song.Tracks[0].PatternCount, 0);
}

} // namespace
