#include "song_fixture.h"

#include "songtext/current_instrument.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace kellix {
namespace {

// One instrument element in the written layout.
std::string InstrumentElement(const char* sampleTone, const char* attack) {
    return std::string("\r\n   ( SampleTone: ") + sampleTone +
           "; Name: nil; Sample: nil; Env: ( Attack: " + attack + "; Cont: 2; Ende: 3 ))";
}

// The small song's text as it is written again after reading: values written unsigned from
// negatives read as their leading digits, and the null code reads as one space.
std::string SmallSongAfterReading() {
    std::string text = kSmallSongText;
    for (std::size_t at; (at = text.find("4294967295")) != std::string::npos;) {
        text.replace(at, 10, "429496729");
    }
    return text.replace(text.rfind("begin\r\n\r\n"), 9, "begin\r\n \r\n");
}

TEST(ReadSongText, WrittenSongsReadBack) {
    LocalSong s;
    ReadSongText(s.song, s.code, kSmallSongText);
    EXPECT_EQ(SongText(s.song, s.code), SmallSongAfterReading());
    EXPECT_EQ(CurrentInstrument, 1);

    LocalSong written;
    NewSong(written.song, written.code);
    for (int32_t i = 0; i < 10; ++i) {
        SetCode(written.code, i, " ");
    }
    LocalSong t;
    ReadSongText(t.song, t.code, SongText(written.song, written.code));
    EXPECT_EQ(SongText(t.song, t.code), SongText(written.song, written.code));
}

TEST(ReadSongText, KeywordsInAnyCaseAndHeadersWithoutSpaces) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "instruments:ARRAY[0..0]Of tinstrument=(( sampletone: 5; NAME: nil; "
                 "sample: nil; eNv: ( attack: 1; cont: 2; ende: 3 )));"
                 "TRACK:ttrack=(trackindexcount: 0; trackcount: 0; patterncount: 0; "
                 "instrumentcount: 0; speed: 7; row: 9;");
    ASSERT_EQ(s.song.InstrumentCount, 1);
    EXPECT_EQ(s.song.Instrument[0].SampleTone, 5);
    EXPECT_EQ(s.song.Instrument[0].Env.Attack, 1);
    EXPECT_EQ(s.song.Instrument[0].Env.Ende, 3);
    EXPECT_EQ(s.song.Speed, 7);
    EXPECT_EQ(s.song.Row, 9);
}

TEST(ReadSongText, TabBelongsToTheValueWord) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Point0: array [0..0] of TIdPoint=( ( Time:\t7; Tone: 3; Instrument: 1; "
                 "Vol: 4; Pan: 5));");
    ASSERT_EQ(s.song.PatternCount, 1);
    ASSERT_EQ(s.song.Patterns[0].PointsCount, 1);
    EXPECT_EQ(s.song.Patterns[0].Points[0].Time, 0);
    EXPECT_EQ(s.song.Patterns[0].Points[0].Tone, 3);
    EXPECT_EQ(s.song.Patterns[0].Points[0].Pan, 5);
}

TEST(ReadSongText, MissingElementsAndFieldsLeaveZeros) {
    // Three instruments announced, one given: the word after it (Point0) is used up, so
    // that section is missed; the Patterns section after it is read.
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Instruments: array [0..2] of TInstrument=(" + InstrumentElement("4", "1") +
                     ");\r\n\r\n  Point0: array [0..0] of TIdPoint=(\r\n   ( Time: 1; Tone: 2; "
                     "Instrument: 0; Vol: 3; Pan: 4));\r\n\r\n"
                     "  Patterns: array [0..2] of TPattern=();");
    ASSERT_EQ(s.song.InstrumentCount, 3);
    EXPECT_EQ(s.code.Count, 3);
    EXPECT_EQ(s.song.Instrument[0].SampleTone, 4);
    EXPECT_EQ(s.song.Instrument[2].SampleTone, 0);
    ASSERT_EQ(s.song.PatternCount, 3);
    EXPECT_EQ(s.song.Patterns[0].PointsCount, 0);

    // Without "Name: nil" the section ends at that field.
    LocalSong t;
    ReadSongText(t.song, t.code,
                 "Instruments: array [0..1] of TInstrument=(( SampleTone: 5; Sample: nil; "
                 "Env: ( Attack: 1; Cont: 2; Ende: 3 ))," +
                     InstrumentElement("6", "7") + ");");
    ASSERT_EQ(t.song.InstrumentCount, 2);
    EXPECT_EQ(t.song.Instrument[0].SampleTone, 5);
    EXPECT_EQ(t.song.Instrument[0].Env.Attack, 0);
    EXPECT_EQ(t.song.Instrument[1].SampleTone, 0);
}

TEST(ReadSongText, HeaderIsRetriedOnceAfterSkippingAWord) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Instruments nothing here: array [0..0] of TInstrument=(" +
                     InstrumentElement("8", "1") + ");");
    ASSERT_EQ(s.song.InstrumentCount, 1);
    EXPECT_EQ(s.song.Instrument[0].SampleTone, 8);

    LocalSong t;
    ReadSongText(t.song, t.code,
                 "Instruments nothing at all: array [0..0] of TInstrument=(" +
                     InstrumentElement("8", "1") + ");");
    EXPECT_EQ(t.song.InstrumentCount, 0);

    // The lists have no retry.
    LocalSong u;
    ReadSongText(u.song, u.code,
                 "PatternIndex0 x: array [0..0] of longint=(3);"
                 "TracksIndex y: array [0..0] of Longint=(3);");
    EXPECT_EQ(u.song.TrackCount, 0);
    EXPECT_EQ(u.song.TrackIndexCount, 0);
}

TEST(ReadSongText, HeaderCutShortByTheEndOfTheText) {
    LocalSong s;
    ResizeTracks(s.song, 2);
    ReadSongText(s.song, s.code, "TracksIndex: array [0..2");
    ASSERT_EQ(s.song.TrackIndexCount, 3);
    EXPECT_EQ(s.song.TracksIndex[2], 0);
    EXPECT_EQ(s.song.TracksIndex[1], 1);
}

TEST(ReadSongText, PointGrowsThePatternTableAndPatternsShrinksIt) {
    LocalSong s;
    ResizePatterns(s.song, 2);
    const char* point = "Point5: array [0..0] of TIdPoint=(( Time: 1; Tone: 2; Instrument: 0; "
                        "Vol: 3; Pan: 4));\r\n";
    ReadSongText(s.song, s.code, point);
    ASSERT_EQ(s.song.PatternCount, 6);
    EXPECT_EQ(s.song.Patterns[5].PointsCount, 1);

    ReadSongText(s.song, s.code, std::string(point) + "Patterns: array [0..3] of TPattern=();");
    EXPECT_EQ(s.song.PatternCount, 4);
}

TEST(ReadSongText, PatternListValuesRunAcrossSectionNames) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "PatternIndex1: array [0..2] of longint=(4,5);\r\n"
                 "TracksIndex: array [0..0] of Longint=(1);");
    ASSERT_EQ(s.song.TrackCount, 2);
    ASSERT_EQ(s.song.Tracks[1].PatternCount, 3);
    EXPECT_EQ(s.song.Tracks[1].PatternIndex[1], 5);
    // The third value took the next section's name, whose header words follow as ordinary ones.
    EXPECT_EQ(s.song.Tracks[1].PatternIndex[2], 0);
    EXPECT_EQ(s.song.TrackIndexCount, 0);
}

TEST(ReadSongText, EmptyTextOrNoSectionEmptiesOnlyInstruments) {
    LocalSong s;
    NewSong(s.song, s.code);
    ReadSongText(s.song, s.code, "");
    EXPECT_EQ(s.song.InstrumentCount, 0);
    EXPECT_EQ(s.code.Count, 0);
    EXPECT_EQ(s.song.PatternCount, 10);
    EXPECT_EQ(s.song.Speed, 128);

    // A zero byte ends the text.
    ReadSongText(s.song, s.code, std::string_view("Const\0Patterns: array [0..1] of TPattern", 40));
    EXPECT_EQ(s.song.PatternCount, 10);
}

TEST(ReadSongText, FunctionForAMissingInstrumentIsScannedAsWords) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Instruments: array [0..0] of TInstrument=(" + InstrumentElement("0", "0") +
                     ");\r\nFunction InitSample01:pointer;\r\nbegin\r\n a\r\nend;\r\n"
                     "Function InitSample1:pointer;\r\nbegin\r\n"
                     " x y; Tracks: array [0..4] of TTrackPattern;\r\nend;\r\n");
    EXPECT_EQ(s.song.TrackCount, 5);
    EXPECT_EQ(CodeOf(s.code, 0), "<null>");
}

// Reads one function for instrument 0 with the given text after "begin".
std::string BodyRead(const std::string& afterBegin) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Instruments: array [0..0] of TInstrument=(" + InstrumentElement("0", "0") +
                     ");\r\nFunction InitSample0:pointer;\r\nbegin" + afterBegin);
    return CodeOf(s.code, 0);
}

TEST(ReadSongText, FunctionBodyEndsAtAWholeWordEndOutsideComments) {
    EXPECT_EQ(BodyRead("\r\n x := blend(1); // the end\r\n y:=endless; z_end; END2\r\nend;"),
              " x := blend(1); // the end\r\n y:=endless; z_end; END2");
    EXPECT_EQ(BodyRead("\r\n a := 1; End; b := 2;\r\nend;"), " a := 1;");
    EXPECT_EQ(BodyRead("\r\n a := 1; //\r\n//end\r\nEND."), " a := 1; //\r\n//end");
    EXPECT_EQ(BodyRead("\r\n  (x) := caf\xe9 \t\r\n\r\nend;"), " x) := caf\xe9");
    EXPECT_EQ(BodyRead("\r\n\r\nend;"), " ");
    EXPECT_EQ(BodyRead("end"), "<null>"); // "beginend" is no "begin"
    EXPECT_EQ(BodyRead(" x := 1; // no end\r\n"), "<null>");
    EXPECT_EQ(BodyRead(""), "<null>");
}

TEST(ReadSongText, BodyWithoutEndLetsWordsGoOn) {
    LocalSong s;
    CurrentInstrument = -1;
    ReadSongText(s.song, s.code,
                 "Instruments: array [0..0] of TInstrument=(" + InstrumentElement("0", "0") +
                     ");\r\nFunction InitSample0:pointer;\r\nbegin x; Tracks: array [0..2] of "
                     "TTrackPattern=();");
    EXPECT_EQ(CodeOf(s.code, 0), "<null>");
    EXPECT_EQ(CurrentInstrument, -1);
    EXPECT_EQ(s.song.TrackCount, 3);
}

TEST(ReadSongText, BadIndicesAndBoundsAreIgnored) {
    LocalSong s;
    ReadSongText(s.song, s.code,
                 "Point-1: array [0..0] of TIdPoint=(( Time: 1; Tone: 2; Instrument: 0; Vol: 3; "
                 "Pan: 4));\r\n"
                 "Point65536: array [0..0] of TIdPoint=();\r\n"
                 "PatternIndex70000: array [0..0] of longint=(5);\r\n"
                 "PatternIndex-2: array [0..0] of longint=(5);\r\n"
                 "Instruments: array [0..2000000000] of TInstrument=();\r\n"
                 "Tracks: array [0..65536] of TTrackPattern=();\r\n"
                 "TracksIndex: array [0..1000000] of Longint=();\r\n"
                 "Point0: array [0..1000000] of TIdPoint=();\r\n");
    EXPECT_EQ(s.song.PatternCount, 0);
    EXPECT_EQ(s.song.TrackCount, 0);
    EXPECT_EQ(s.song.InstrumentCount, 0);
    EXPECT_EQ(s.song.TrackIndexCount, 0);

    // The largest pattern index is accepted.
    ReadSongText(s.song, s.code, "Point65535: array [0..0] of TIdPoint=();");
    EXPECT_EQ(s.song.PatternCount, 65536);
    EXPECT_EQ(s.song.Patterns[65535].PointsCount, 1);
}

// Tables grown one section index at a time end exactly as long as the highest index read, and
// headers and the play list see only the elements the text made.
TEST(ReadSongText, TablesGrownByIndexHaveExactlyTheNamedLength) {
    struct Case {
        const char* text;
        int32_t patterns, tracks, playList;
        const char* playListValues; // the play list after reading
    };
    const Case cases[] = {
        // Each event section ends at the word x (it expects Time), so the next name is read.
        {"Point1: array [0..0] of TIdPoint=(x Point2: array [0..0] of TIdPoint=(x "
         "Point4: array [0..0] of TIdPoint=(x",
         5, 0, 0, ""},
        {"Point3: array [0..0] of TIdPoint=(x Patterns: array [0..1] of TPattern=();"
         "Point2: array [0..0] of TIdPoint=(x",
         3, 0, 0, ""},
        // The play list's new entries count through the three tracks: 0 1 2 0 1.
        {"PatternIndex1: array [0..0] of longint=(7);PatternIndex2: array [0..0] of "
         "longint=(7);TracksIndex: array [0..4] of Longint=(",
         0, 3, 5, "0 1 2 0 1"},
        {"PatternIndex5: array [0..0] of longint=(7);Tracks: array [0..1] of TTrackPattern=();"
         "TracksIndex: array [0..2] of Longint=(9",
         0, 2, 3, "9 1 0"},
    };
    for (const Case& c : cases) {
        LocalSong s;
        ReadSongText(s.song, s.code, c.text);
        EXPECT_EQ(s.song.PatternCount, c.patterns) << c.text;
        EXPECT_EQ(s.song.TrackCount, c.tracks) << c.text;
        std::string playList;
        for (int32_t i = 0; i < s.song.TrackIndexCount; ++i) {
            playList += (i ? " " : "") + std::to_string(s.song.TracksIndex[i]);
        }
        EXPECT_EQ(s.song.TrackIndexCount, c.playList) << c.text;
        EXPECT_EQ(playList, c.playListValues) << c.text;
    }
}

TEST(ReadSongText, ShortTextCannotAllocateWithoutEnd) {
    std::string text = "Patterns: array [0..65535] of TPattern=();";
    text += "Patterns: array [0..4999] of TPattern=();";
    LocalSong s;
    ReadSongText(s.song, s.code, text);
    EXPECT_EQ(s.song.PatternCount, 65536);
    ReadSongText(s.song, s.code, text + "Patterns: array [0..1] of TPattern=();");
    EXPECT_EQ(s.song.PatternCount, 2);
}

TEST(ReadSongText, SecondInstrumentsSectionKeepsTheCodeListInStep) {
    std::string two = "Instruments: array [0..1] of TInstrument=(" + InstrumentElement("1", "1") +
                      "," + InstrumentElement("2", "2") + ");\r\n";
    std::string functions = "Function InitSample0:pointer;\r\nbegin\r\n a\r\nend;\r\n"
                            "Function InitSample1:pointer;\r\nbegin\r\n b\r\nend;\r\n";
    LocalSong s;
    ReadSongText(s.song, s.code, two + functions + "Instruments: array [0..3] of TInstrument=();");
    ASSERT_EQ(s.song.InstrumentCount, 4);
    ASSERT_EQ(s.code.Count, 4);
    EXPECT_EQ(CodeOf(s.code, 1), " b");
    EXPECT_EQ(CodeOf(s.code, 3), "<null>");

    ReadSongText(s.song, s.code, two + functions + "Instruments: array [0..0] of TInstrument=();");
    ASSERT_EQ(s.code.Count, 1);
    EXPECT_EQ(CodeOf(s.code, 0), " a");
}

TEST(SetCurrentInstrumentCode, OnlyInsideTheCodeList) {
    LocalSong s;
    ResizeInstrumentCode(s.code, 2);
    CurrentInstrument = 1;
    SetCurrentInstrumentCode(s.code, " first");
    SetCurrentInstrumentCode(s.code, " second");
    EXPECT_EQ(CodeOf(s.code, 1), " second");
    CurrentInstrument = 2;
    SetCurrentInstrumentCode(s.code, " outside");
    CurrentInstrument = -1;
    SetCurrentInstrumentCode(s.code, " none");
    EXPECT_EQ(CodeOf(s.code, 0), "<null>");
    EXPECT_EQ(CodeOf(s.code, 1), " second");
}

TEST(LoadSongText, UnreadableFileChangesNothing) {
    LocalSong s;
    NewSong(s.song, s.code);
    std::string error;
    std::string missing = testing::TempDir() + "no-such-song.txt";
    EXPECT_FALSE(LoadSongText(s.song, s.code, missing, &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;
    EXPECT_EQ(s.song.InstrumentCount, 10);
    EXPECT_EQ(s.code.Count, 10);

    error.clear();
    EXPECT_FALSE(LoadSongText(s.song, s.code, testing::TempDir(), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(s.song.InstrumentCount, 10);
}

TEST(LoadSongText, ReadsASavedFile) {
    LocalSong written;
    BuildSmallSong(written.song, written.code);
    std::string path = testing::TempDir() + "songtext-load-" + std::to_string(getpid()) + ".txt";
    std::string error;
    ASSERT_TRUE(SaveSongText(written.song, written.code, path, &error)) << error;
    LocalSong s;
    EXPECT_TRUE(LoadSongText(s.song, s.code, path, &error)) << error;
    unlink(path.c_str());
    EXPECT_EQ(SongText(s.song, s.code), SmallSongAfterReading());
}

} // namespace
} // namespace kellix
