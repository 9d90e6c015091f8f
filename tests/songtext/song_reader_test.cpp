#include "song_fixture.h"

#include "songtext/current_instrument.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <span>
#include <unistd.h>
#include <vector>

namespace kellix {
namespace {

// One instrument element in the written layout.
std::string InstrumentElement(const char* sampleTone, const char* attack) {
    return std::string("\r\n   ( SampleTone: ") + sampleTone +
           "; Name: nil; Sample: nil; Env: ( Attack: " + attack + "; Cont: 2; Ende: 3 ))";
}

// The song in short: each table with elements as its letter, count and elements (numbers
// joined by commas, "-" for none; only the last one of a long table), codes quoted or "-",
// then Speed, Row and CurrentInstrument when set.
std::string Brief(const LocalSong& s) {
    const TTrack& song = s.song;
    auto join = [](const std::vector<int32_t>& values, const char* separator = ",") {
        std::string t;
        for (int32_t v : values) {
            t += (t.empty() ? "" : separator) + std::to_string(v);
        }
        return t.empty() ? "-" : t;
    };
    std::string o;
    auto table = [&](char name, int32_t count, auto element) {
        o += count ? name + std::to_string(count) + (count > 8 ? "[..." : "[") : "";
        for (int32_t i = count > 8 ? count - 1 : 0; i < count; ++i) {
            o += (i ? " " : "") + element(i) + (i == count - 1 ? "] " : "");
        }
    };
    table('i', song.InstrumentCount, [&](int32_t i) {
        const TInstrument& x = song.Instrument[i];
        return std::to_string(x.SampleTone) + ":" + join({x.Env.Attack, x.Env.Cont, x.Env.Ende});
    });
    table('c', s.code.Count,
          [&](int32_t i) { return s.code.Texts[i] ? "'" + CodeOf(s.code, i) + "'" : "-"; });
    table('p', song.PatternCount, [&](int32_t p) {
        std::string t = "-";
        for (const TIdPoint& x : std::span(song.Patterns[p].Points, song.Patterns[p].PointsCount)) {
            t = (t == "-" ? "" : t + "/") + join({x.Time, x.Tone, x.Instrument, x.Vol, x.Pan});
        }
        return t;
    });
    table('t', song.TrackCount, [&](int32_t t) {
        return join({song.Tracks[t].PatternIndex,
                     song.Tracks[t].PatternIndex + song.Tracks[t].PatternCount});
    });
    table('l', song.TrackIndexCount,
          [&](int32_t e) { return std::to_string(song.TracksIndex[e]); });
    o += song.Speed ? "s" + std::to_string(song.Speed) + " r" + std::to_string(song.Row) + " " : "";
    o += CurrentInstrument >= 0 ? "k" + std::to_string(CurrentInstrument) : "";
    return o.substr(0, o.find_last_not_of(' ') + 1);
}

// kSmallSongText read back: values written unsigned from negatives read as their leading
// digits, and the null code reads as one space.
const std::string kSmallSongRead =
    "i2[-3:10,20,30 0:0,0,429496729] c2[' x := 1; // the end' ' '] "
    "p2[- 0,-2,0,429496729,128/15,24,1,256,0] t2[1,0 -] l3[1 0 1] s100 r8 k1";

TEST(ReadSongText, Table) {
    const std::string one =
        "Instruments: array [0..0] of TInstrument=(" + InstrumentElement("0", "0") + ");";
    const std::string two = "Instruments: array [0..1] of TInstrument=(" +
                            InstrumentElement("1", "1") + "," + InstrumentElement("2", "2") +
                            ");\r\nFunction InitSample0:pointer;\r\nbegin\r\n a\r\nend;\r\n"
                            "Function InitSample1:pointer;\r\nbegin\r\n b\r\nend;\r\n";
    const std::string big =
        "Patterns:array[0..65535]of TPattern=();Patterns:array[0..4999]of TPattern";
    const std::pair<std::string, std::string> cases[] = {
        {kSmallSongText, kSmallSongRead},
        // Keywords in any case, headers without spaces.
        {"instruments:ARRAY[0..0]Of tinstrument=(( sampletone: 5; NAME: nil; sample: nil; eNv: ( "
         "attack: 1; cont: 2; ende: 3 )));",
         "i1[5:1,2,3] c1[-]"},
        // A header is retried once after skipping a word; the lists have no retry.
        {"Instruments nothing here:array[0..0]of TInstrument=(" + InstrumentElement("8", "1"),
         "i1[8:1,2,3] c1[-]"},
        {"PatternIndex0 x:array[0..0]of longint=(3);TracksIndex y:array[0..0]of Longint=(3);", ""},
        // Headers with another lower bound, element type or word for "of", or cut after the 0, are
        // refused; so are function names other than InitSample and an index.
        {"Instruments:array[1..2]of TInstrument=();", ""},
        {"Tracks:array[0..1]of TPattern=();", ""},
        {"Tracks:array[0..1]in TTrackPattern=();", ""},
        {"TracksIndex:array[0", ""},
        {one + "Function Foo;Function InitSample1x:pointer;begin a end;", "i1[0:0,2,3] c1[-]"},
        // A header cut short by the end of the text; new entries count through the tracks.
        {"Tracks:array[0..1]of TTrackPattern=();TracksIndex:array[0..2", "t2[- -] l3[0 1 0]"},
        // A point grows the pattern table; Patterns shrinks it and room reserved for points
        // beyond the table is cut off at the end.
        {"Patterns:array[0..1]of TPattern=();Point5:array[0..0]of TIdPoint=((Time:1;Tone:2;"
         "Instrument:0;Vol:3;Pan:4));",
         "p6[- - - - - 1,2,0,3,4]"},
        {"Point3:array[0..0]of TIdPoint=(x Patterns:array[0..1]of TPattern=();"
         "Point2:array[0..0]of TIdPoint=(x",
         "p3[- - 0,0,0,0,0]"},
        // Functions of missing instruments are scanned as words.
        {one + "Function InitSample01:pointer;begin a end;Function InitSample1:pointer;begin x y;"
               "Tracks:array[0..4]of TTrackPattern;end;",
         "i1[0:0,2,3] c1[-] t5[- - - - -]"},
        // A body without "end" stores nothing and words go on after "begin".
        {one + "Function InitSample0:pointer;begin x;Tracks:array[0..2]of TTrackPattern=();",
         "i1[0:0,2,3] c1[-] t3[- - -]"},
        // Bad indices and bounds past the limits are ignored (a negative index next to an
        // Instruments section once formed an element pointer before its header was checked).
        {"Point-1:array[0..0]of TIdPoint=((Time:1;Tone:2;Instrument:0;Vol:3;Pan:4));"
         "Point65536:array[0..0]of TIdPoint=();PatternIndex70000:array[0..0]of longint=(5);"
         "PatternIndex-2:array[0..0]of longint=(5);Instruments:array[0..2000000000]of "
         "TInstrument=();Tracks:array[0..65536]of TTrackPattern=();TracksIndex:array[0..1000000]"
         "of Longint=();Point0:array[0..1000000]of TIdPoint=();",
         ""},
        // Tables grown one section index at a time end as long as the highest index read.
        {"PatternIndex1:array[0..0]of longint=(7);PatternIndex2:array[0..0]of longint=(7);"
         "TracksIndex:array[0..4]of Longint=(",
         "t3[- 7 7] l5[0 1 2 0 1]"},
        // A short text cannot allocate without end.
        {big, "p65536[... -]"},
        // A second Instruments section keeps the code list in step.
        {two + "Instruments:array[0..3]of TInstrument=();",
         "i4[1:1,2,3 2:2,2,3 0:0,0,0 0:0,0,0] c4[' a' ' b' - -] k1"},
    };
    for (const auto& [text, expected] : cases) {
        LocalSong s;
        CurrentInstrument = -1;
        ReadSongText(s.song, s.code, text);
        EXPECT_EQ(Brief(s), expected) << text;
    }
}

TEST(SetCurrentInstrumentCode, OnlyInsideTheCodeList) {
    LocalSong s;
    ResizeInstrumentCode(s.code, 2);
    for (int32_t current : {1, 2, -1}) {
        CurrentInstrument = current;
        SetCurrentInstrumentCode(s.code, current == 1 ? " first" : " outside");
    }
    EXPECT_EQ(CodeOf(s.code, 0) + "," + CodeOf(s.code, 1), "<null>, first");
}

TEST(LoadSongText, ReadsASavedFileAndChangesNothingWhenUnreadable) {
    LocalSong written;
    BuildSmallSong(written.song, written.code);
    std::string path = testing::TempDir() + "songtext-load-" + std::to_string(getpid()) + ".txt";
    std::string error;
    ASSERT_TRUE(SaveSongText(written.song, written.code, path, &error)) << error;
    LocalSong s;
    EXPECT_TRUE(LoadSongText(s.song, s.code, path, &error)) << error;
    unlink(path.c_str());
    EXPECT_EQ(Brief(s), kSmallSongRead);

    for (const std::string& bad : {path, testing::TempDir()}) {
        error.clear();
        EXPECT_FALSE(LoadSongText(s.song, s.code, bad, &error));
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_EQ(s.song.InstrumentCount, 2);
    }
}

} // namespace
} // namespace kellix
