// The editor model driven directly: start-up, count edits, the instrument panel and the File
// menu's commands, with prepared dialog answers and a silent sound device.
#include "ui/model/editor_model.h"

#include "audio/live_output.h"
#include "script/dllgen.h"
#include "songtext/current_instrument.h"
#include "songtext/song_writer.h"
#include "ui/ui_fixture.h"

#include <gtest/gtest.h>

using namespace kellix;
using namespace kellix::test;

namespace {

struct RecordingView final : EditorView {
    std::vector<const SampleBlock*> Drawn;
    uint32_t Parts = 0;
    void DrawSample(const SampleBlock* sample) override { Drawn.push_back(sample); }
    void Refresh(uint32_t parts) override { Parts |= parts; }
};

constexpr const char* kShortCode = " Result:=CreateSample( 100 , 1 );";

class EditorModelTest : public ::testing::Test {
  protected:
    RecordingView View;
    PreparedDialogs Ask;
    SilentDevice Device;
    EditorModel Model{View, Ask};
    TempFolder Dir;

    static void SetUpTestSuite() {
        static bool started = false;
        if (!started) {
            StartScripting();
            started = true;
        }
    }
    void SetUp() override {
        SetUpOutput(&Device);
        Model.Create();
    }
    void TearDown() override {
        Model.Destroy();
        EmptySong(Song, InstrumentCode);
        TearDownOutput();
    }
    std::string Saved() const { return SongText(Song, InstrumentCode); }
    // A song file with two instruments whose codes make samples, and one note.
    std::string WriteSong(const std::string& name) {
        NewSong(Song, InstrumentCode);
        ResizeInstrumentCode(InstrumentCode, 2);
        ResizeInstruments(Song, 2);
        CurrentInstrument = 0;
        SetCurrentInstrumentCode(InstrumentCode, kShortCode);
        CurrentInstrument = 1;
        SetCurrentInstrumentCode(InstrumentCode, " Result:=CreateSample( 300 , 2 );");
        ResizePoints(Song, 0, 1);
        Song.Patterns[0].Points[0] = {2, 30, 1, 200, 100};
        const std::string path = Dir / name;
        WriteFile(path, Saved());
        return path;
    }
};

TEST_F(EditorModelTest, StartsWithTheDefaultSongAndCode) {
    EXPECT_EQ(Song.InstrumentCount, 10);
    EXPECT_EQ(Song.PatternCount, 10);
    EXPECT_EQ(Song.TrackCount, 10);
    ASSERT_EQ(Song.TrackIndexCount, 10);
    EXPECT_EQ(Song.TracksIndex[9], 9);
    EXPECT_EQ(Song.Speed, 128);
    EXPECT_EQ(Song.Row, 16);
    EXPECT_EQ(Model.Code(),
              " GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );");
    EXPECT_EQ(Model.Code().size(), 68u);
    EXPECT_EQ(CurrentInstrument, 0);
    EXPECT_EQ(Model.InstrumentRow(), 0);
    EXPECT_EQ(Model.PatternItem(), 0);
    EXPECT_EQ(Model.TrackItem(), 0);
    EXPECT_EQ(Model.PlayListRow(), 0);
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[0]);
    EXPECT_EQ(Model.ActiveTrack(), &Song.Tracks[0]);
    EXPECT_EQ(Model.AttachedEnv(), &Song.Instrument[0].Env);
    EXPECT_EQ(Model.Status(), "Ok");
    EXPECT_EQ(Model.Title(), "Kellix");
    EXPECT_EQ(Model.Focus(), EditFocus::Code);
    EXPECT_FALSE(Model.Changed());
    for (int32_t i = 0; i < 10; ++i) {
        EXPECT_EQ(Song.Instrument[i].Sample, nullptr) << "empty code makes no sample";
    }
}

TEST_F(EditorModelTest, CountEditsTakeValidTextsAndRefuseOthers) {
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
        if (!c.taken) {
            EXPECT_TRUE(View.Parts & kViewCounts) << "the edit gets the song's value back";
        }
    }
    EXPECT_EQ(Model.CountText(CountEdit::SpeedTrack), "-3");
    EXPECT_TRUE(Model.Changed());
}

TEST_F(EditorModelTest, ResizingCountsRefreshesSelections) {
    ASSERT_TRUE(Model.CommitCount(CountEdit::PatternCount, "12"));
    EXPECT_EQ(Model.PatternItem(), 0);
    EXPECT_EQ(Model.ActivePattern(), &Song.Patterns[0]);
    // A longer play list than there are tracks: new entries continue the track numbers.
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackIndex, "15"));
    for (int32_t i = 10; i < 15; ++i) {
        EXPECT_EQ(Song.TracksIndex[i], i - 10);
    }
    ASSERT_TRUE(Model.CommitCount(CountEdit::TrackCount, "0"));
    EXPECT_EQ(Model.TrackItem(), -1);
    EXPECT_EQ(Model.ActiveTrack(), nullptr);
}

TEST_F(EditorModelTest, InstrumentCountKeepsCodesAndGeneratesNewSamples) {
    Model.SetCodeText(kShortCode);
    Model.GeneratorExe();
    SampleBlock* first = Song.Instrument[0].Sample;
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "12"));
    EXPECT_EQ(Song.InstrumentCount, 12);
    EXPECT_EQ(InstrumentCode.Count, 12);
    EXPECT_EQ(Song.Instrument[0].Sample, first) << "existing samples are kept";
    EXPECT_STREQ(InstrumentCode.Texts[0], kShortCode);
    EXPECT_EQ(Model.Code(), kShortCode);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "1"));
    EXPECT_EQ(InstrumentCode.Count, 1);
    EXPECT_EQ(Song.Instrument[0].Sample, first);
}

TEST_F(EditorModelTest, EditedCodeSurvivesAnInstrumentCountChange) {
    Model.InstrumentsClick(3);
    Model.SetCodeText(kShortCode);
    ASSERT_TRUE(Model.CommitCount(CountEdit::InstrumentCount, "11"));
    EXPECT_STREQ(InstrumentCode.Texts[3], kShortCode);
}

TEST_F(EditorModelTest, SwitchingInstrumentsStoresAndLoadsCode) {
    // The first click stores the default code shown at start for instrument 1.
    Model.InstrumentsClick(2);
    EXPECT_STREQ(InstrumentCode.Texts[0], DefaultInstrumentCode);
    EXPECT_EQ(Model.Code(), DefaultInstrumentCode);
    EXPECT_NE(Song.Instrument[2].Sample, nullptr) << "a click generates a missing sample";
    ASSERT_FALSE(View.Drawn.empty());
    EXPECT_EQ(View.Drawn.back(), Song.Instrument[2].Sample);
    EXPECT_EQ(Model.AttachedEnv(), &Song.Instrument[2].Env);

    Model.InstrumentsClick(0);
    Model.SetCodeText(kShortCode);
    SampleBlock* before = Song.Instrument[0].Sample;
    Model.InstrumentsClick(3);
    Model.InstrumentsClick(0);
    EXPECT_EQ(Model.Code(), kShortCode) << "the edited text was kept for instrument 1";
    EXPECT_EQ(Song.Instrument[0].Sample, before) << "editing alone does not regenerate";

    Model.InstrumentsClick(10); // below the last item
    EXPECT_EQ(Model.ActiveInstrument(), nullptr);
    EXPECT_FALSE(Model.CommitCount(CountEdit::SampleTone, "5"));
}

TEST_F(EditorModelTest, CompileErrorThenF9Fixes) {
    Model.InstrumentsClick(1);
    Model.SetCodeText(" Result:=CreateSampl( 100 , 1 );");
    Model.GeneratorExe();
    EXPECT_EQ(Model.Status(), "Error: Undeclared indentifier CreateSampl( 100 , 1 );");
    EXPECT_EQ(Model.ErrorPosition(), 9);
    EXPECT_EQ(Song.Instrument[1].Sample, nullptr);
    EXPECT_STREQ(InstrumentCode.Texts[1], " Result:=CreateSampl( 100 , 1 );");

    Model.SetCodeText(kShortCode);
    Model.GeneratorExe();
    EXPECT_EQ(Model.Status(), "Ok");
    EXPECT_EQ(Model.ErrorPosition(), -1);
    ASSERT_NE(Song.Instrument[1].Sample, nullptr);
    EXPECT_EQ(View.Drawn.back(), Song.Instrument[1].Sample);
    ASSERT_TRUE(Model.CommitCount(CountEdit::SampleTone, "-16"));
    EXPECT_EQ(Song.Instrument[1].SampleTone, -16);
}

TEST_F(EditorModelTest, NewAndOpenAskAboutUnsavedChanges) {
    const std::string path = WriteSong("song.txt");
    Model.New(); // nothing changed: no question
    EXPECT_EQ(Ask.SaveChangesAsked, 0);

    Model.SetCodeText(kShortCode);
    Ask.SaveChangesAnswers = {SaveAnswer::Cancel};
    EXPECT_FALSE(Model.Open());
    EXPECT_EQ(Ask.SaveChangesAsked, 1);
    EXPECT_TRUE(Ask.OpenAsked.empty()) << "Cancel stops before the dialog";
    EXPECT_EQ(Model.Code(), kShortCode);

    Ask.SaveChangesAnswers = {SaveAnswer::Discard};
    Ask.OpenAnswers = {path};
    ASSERT_TRUE(Model.Open());
    EXPECT_EQ(Ask.OpenAsked.back().Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(Ask.OpenAsked.back().DefaultExt, "*.txt");
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    EXPECT_EQ(Song.InstrumentCount, 2);
    EXPECT_NE(Song.Instrument[0].Sample, nullptr);
    EXPECT_NE(Song.Instrument[1].Sample, nullptr);
    EXPECT_EQ(Model.Code(), kShortCode);
    EXPECT_FALSE(Model.Changed());

    // "Save" answered to the question saves under the song's name before New.
    Model.PatternMouseDown(MouseButton::Left, 5, 40);
    Ask.SaveChangesAnswers = {SaveAnswer::Save};
    ASSERT_TRUE(Model.New());
    EXPECT_NE(ReadFile(path).find("Time: 5;"), std::string::npos);
    EXPECT_EQ(Model.Title(), "Kellix");
    EXPECT_EQ(Song.InstrumentCount, 10);
}

TEST_F(EditorModelTest, OpenOfAnUnreadableFileChangesNothing) {
    Model.SetCodeText(kShortCode);
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
        EXPECT_NE(Song.Instrument[0].Sample, nullptr);
    }
}

TEST_F(EditorModelTest, SaveAsStoresTheShownCodeAndSaveReusesTheName) {
    Ask.SaveAnswers = {std::nullopt};
    EXPECT_FALSE(Model.Save()) << "a cancelled dialog";
    EXPECT_EQ(Model.Title(), "Kellix");

    const std::string path = Dir / "new.txt";
    Ask.SaveAnswers = {path};
    ASSERT_TRUE(Model.SaveAs());
    EXPECT_EQ(Ask.SaveAsked.back().Filter, "Text files (*.txt)|*.TXT");
    EXPECT_EQ(Model.Title(), "Kellix - " + path);
    const std::string text = ReadFile(path);
    EXPECT_NE(text.find("GeneratorSampleMode( SM_ADD );\r\n Result:=CreateSample( 10000 , 1 );"),
              std::string::npos)
        << "instrument 1 is saved with the code the box shows";

    Model.PatternMouseDown(MouseButton::Left, 1, 50);
    const std::size_t asked = Ask.SaveAsked.size();
    ASSERT_TRUE(Model.Save());
    EXPECT_EQ(Ask.SaveAsked.size(), asked) << "no dialog once the song has a name";
    EXPECT_NE(ReadFile(path).find("Tone: 50;"), std::string::npos);
    EXPECT_FALSE(Model.Changed());
}

TEST_F(EditorModelTest, AFailedSaveKeepsTheNameAndTitle) {
    WriteFile(Dir / "file", "old");
    Ask.SaveAnswers = {Dir / "file/song.txt"};
    EXPECT_FALSE(Model.SaveAs());
    ASSERT_EQ(Ask.Errors.size(), 1u);
    EXPECT_NE(Ask.Errors[0].find("song.txt"), std::string::npos);
    EXPECT_EQ(Model.Title(), "Kellix");
    EXPECT_EQ(Model.FileName(), "");
    EXPECT_EQ(ReadFile(Dir / "file"), "old");
}

TEST_F(EditorModelTest, InstrumentCodeFilesAreByteForByte) {
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

TEST_F(EditorModelTest, SaveResultRendersWithProgressAndReportsFailures) {
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

TEST_F(EditorModelTest, CutEmptiesTheSelectedPatternOrTheShownTrack) {
    Model.PatternMouseDown(MouseButton::Left, 0, 60);
    Model.PatternMouseDown(MouseButton::Left, 1, 61);
    ASSERT_EQ(Song.Patterns[0].PointsCount, 2);
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
