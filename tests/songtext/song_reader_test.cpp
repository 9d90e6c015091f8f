#include "song_fixture.h"

#include "songtext/song_presence.h"
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <random>
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
// then Speed and Row when set, then what the report holds: "k" and the last instrument whose
// code was read, "x" and the name of each table left out, "z" and the offset of the zero byte.
std::string Brief(const TTrack& song, const SongReadReport& report) {
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
    table('i', song.InstrumentCount(), [&](int32_t i) {
        const TInstrument& x = song.Instrument[i];
        return std::to_string(x.SampleTone) + ":" + join({x.Env.Attack, x.Env.Cont, x.Env.Ende});
    });
    table('c', song.InstrumentCount(), [&](int32_t i) {
        return song.Instrument[i].Code.Exists() ? "'" + CodeOf(song, i) + "'" : "-";
    });
    table('p', song.PatternCount(), [&](int32_t p) {
        std::string t = "-";
        for (const TIdPoint& x : song.Patterns[p].Points) {
            t = (t == "-" ? "" : t + "/") + join({x.Time, x.Tone, x.Instrument, x.Vol, x.Pan});
        }
        return t;
    });
    table('t', song.TrackCount(), [&](int32_t t) {
        return join({song.Tracks[t].PatternIndex.begin(), song.Tracks[t].PatternIndex.end()});
    });
    table('l', song.TrackIndexCount(),
          [&](int32_t e) { return std::to_string(song.TracksIndex[e]); });
    o += song.Speed ? "s" + std::to_string(song.Speed) + " r" + std::to_string(song.Row) + " " : "";
    o += report.LastCode >= 0 ? "k" + std::to_string(report.LastCode) + " " : "";
    for (const std::string& line : report.Dropped) {
        o += "x" + line.substr(0, line.find(':')) + " ";
    }
    o += report.ZeroByte ? "z" + std::to_string(*report.ZeroByte) : "";
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
    const std::string two1 = "Instruments array 0 1 of TInstrument x ";
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
        // A "//" hides an "end" only after the body's start: one before "begin", or before
        // the function, on the same line, hides nothing.
        {"Instruments array 0 0 of TInstrument x Function InitSample0 // begin A end",
         "i1[0:0,0,0] c1[' A'] k0"},
        // (Other bodies and comments: BodiesMatchASlowModel.) Tables with bad indices or bounds
        // past the limits are left out: ReportSaysWhyATableWasLeftOut.
        {two1 + "Function InitSample0 x begin A // end Function InitSample1 x begin B end",
         "i2[0:0,0,0 0:0,0,0] c2[- ' B'] k1"},
        // Tables grown one section index at a time end as long as the highest index read.
        {"PatternIndex1:array[0..0]of longint=(7);PatternIndex2:array[0..0]of longint=(7);"
         "TracksIndex:array[0..4]of Longint=(",
         "t3[- 7 7] l5[0 1 2 0 1]"},
        // A short text cannot allocate without end.
        {big, "p65536[... -] xPatterns"},
        // Reading stops at a zero byte; the report tells where it is.
        {std::string("Tracks:array[0..1]of TTrackPattern\0Patterns:array[0..1]of TPattern", 66),
         "t2[- -] z34"},
        // A second Instruments section keeps the code list in step.
        {two + "Instruments:array[0..3]of TInstrument=();",
         "i4[1:1,2,3 2:2,2,3 0:0,0,0 0:0,0,0] c4[' a' ' b' - -] k1"},
    };
    for (const auto& [text, expected] : cases) {
        TTrack song;
        const SongReadReport report = ReadSongText(song, text);
        EXPECT_EQ(Brief(song, report), expected) << text;
    }
}

// Each table left out says why; after twenty lines one more counts the rest.
TEST(ReadSongText, ReportSaysWhyATableWasLeftOut) {
    const std::string full = "Patterns:array[0..65535]of TPattern;";
    const std::pair<std::string, std::string> cases[] = {
        {"Instruments:array[0..65536]of TInstrument",
         "Instruments: 65537 instruments, more than the 65536 a song may hold"},
        {full + "Instruments:array[0..99]of TInstrument",
         "Instruments: 100 instruments, more than a text of 74 bytes can describe"},
        {"Point3:array[0..1000000]of TIdPoint",
         "Point3: 1000001 events, more than the 1000000 a pattern may hold"},
        {"Point65536:array[0..0]of TIdPoint",
         "Point65536: pattern 65536, past the 65536 patterns a song may hold"},
        // A negative index once formed an element pointer before its header was checked.
        {"Point-1:array[0..0]of TIdPoint=((Time:1;Tone:2;Instrument:0;Vol:3;Pan:4));",
         "Point-1: a negative pattern number"},
        {full + "Point1:array[0..999]of TIdPoint",
         "Point1: pattern 1 with 1000 events, more than a text of 67 bytes can describe"},
        {"Patterns:array[0..65536]of TPattern",
         "Patterns: 65537 patterns, more than the 65536 a song may hold"},
        {"PatternIndex2:array[0..1000000]of longint",
         "PatternIndex2: 1000001 pattern numbers, more than the 1000000 a track may hold"},
        {"PatternIndex70000:array[0..0]of longint",
         "PatternIndex70000: track 70000, past the 65536 tracks a song may hold"},
        {full + "PatternIndex0:array[0..99]of longint",
         "PatternIndex0: track 0 with 100 pattern numbers, more than a text of 72 bytes can "
         "describe"},
        {"Tracks:array[0..65536]of TTrackPattern",
         "Tracks: 65537 tracks, more than the 65536 a song may hold"},
        {"TracksIndex:array[0..1000000]of Longint",
         "TracksIndex: 1000001 play-list entries, more than the 1000000 the play list may hold"},
    };
    for (const auto& [text, why] : cases) {
        TTrack song;
        const SongReadReport report = ReadSongText(song, text);
        EXPECT_EQ(report.Dropped, std::vector<std::string>{why + "; not read"}) << text;
    }
    std::string many;
    for (int i = 0; i < 22; ++i) {
        many += "Tracks:array[0..65536]of TTrackPattern;";
    }
    TTrack song;
    const SongReadReport report = ReadSongText(song, many);
    ASSERT_EQ(report.Dropped.size(), 21u);
    EXPECT_EQ(report.Dropped[19],
              "Tracks: 65537 tracks, more than the 65536 a song may hold; not read");
    EXPECT_EQ(report.Dropped[20], "and 2 more tables not read");
}

// A slow model of how the reader takes function bodies from a text that holds no other
// section: words as the reader cuts them, and after each "Function InitSampleK x begin" the
// first whole-word "end" from the body's start with no "//" between them on its line.
std::vector<std::string> SlowBodies(const std::string& t, int32_t count) {
    auto delimiter = [](char c) { return c && std::strchr(" ,.:;()[]'=<>\r\n", c); };
    auto wordChar = [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; };
    std::string upper = t;
    std::transform(t.begin(), t.end(), upper.begin(), [](char c) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    });
    auto endAt = [&](std::size_t e) {
        return upper.compare(e, 3, "END") == 0 && (e == 0 || !wordChar(t[e - 1])) &&
               (e + 3 >= t.size() || !wordChar(t[e + 3]));
    };
    auto bodyEnd = [&](std::size_t start) -> std::optional<std::size_t> {
        for (std::size_t e = start; e < t.size(); ++e) {
            const std::size_t lineStart = t.find_last_of("\r\n", e);
            const std::size_t from =
                lineStart == std::string::npos ? start : std::max(start, lineStart + 1);
            if (endAt(e) && t.substr(from, e - from).find("//") == std::string::npos) {
                return e;
            }
        }
        return std::nullopt;
    };
    std::vector<std::string> bodies(static_cast<std::size_t>(count), "-");
    int step = 0;
    int32_t k = 0;
    for (std::size_t i = 0; i < t.size();) {
        std::size_t j = i;
        while (j < t.size() && !delimiter(t[j])) {
            ++j;
        }
        const std::string word = upper.substr(i, j - i);
        while (j < t.size() && delimiter(t[j])) {
            ++j;
        }
        i = j; // where the next word starts
        if (step == 0) {
            step = word == "FUNCTION" ? 1 : 0;
        } else if (step == 1) {
            k = word.size() == 11 && word.compare(0, 10, "INITSAMPLE") == 0 ? word[10] - '0' : -1;
            step = k >= 0 && k < count ? 2 : 0;
        } else if (step == 2) {
            step = 3;
        } else {
            step = 0;
            const std::optional<std::size_t> end =
                word == "BEGIN" && i < t.size() ? bodyEnd(i) : std::nullopt;
            if (end) {
                std::size_t stop = *end;
                while (stop > i && static_cast<unsigned char>(t[stop - 1]) <= 32) {
                    --stop;
                }
                bodies[static_cast<std::size_t>(k)] = " " + t.substr(i, stop - i);
                i = stop;
            }
        }
    }
    return bodies;
}

// Random texts of functions, "end"s, "//"s and line breaks: the reader stores what the slow
// model takes.
TEST(ReadSongText, BodiesMatchASlowModel) {
    std::mt19937 random{20261207};
    const std::string f = "Function InitSample";
    const std::string pieces[] = {
        f + "0 x begin ", f + "1 x begin ", "end", "END", "blend", "//", "/", "\r\n", " ", "A", ";",
        "begin"};
    const std::string head = "Instruments array 0 1 of TInstrument q ";
    for (int round = 0; round < 3000; ++round) {
        std::string text = head;
        for (auto n = random() % 31; n > 0; --n) {
            text += pieces[random() % std::size(pieces)];
        }
        TTrack song;
        ReadSongText(song, text);
        const std::vector<std::string> expected = SlowBodies(text, 2);
        for (int32_t i = 0; i < 2; ++i) {
            ASSERT_EQ(song.Instrument[i].Code.Exists() ? CodeOf(song, i) : "-", expected[i])
                << text;
        }
    }
}

TEST(LoadSongText, ReadsASavedFileAndChangesNothingWhenUnreadable) {
    std::string path = testing::TempDir() + "songtext-load-" + std::to_string(getpid()) + ".txt";
    std::string error;
    ASSERT_TRUE(SaveSongText(BuildSmallSong(), path, &error)) << error;
    TTrack song;
    SongReadReport report;
    EXPECT_TRUE(LoadSongText(song, path, &error, &report)) << error;
    unlink(path.c_str());
    EXPECT_EQ(Brief(song, report), kSmallSongRead);

    for (const std::string& bad : {path, testing::TempDir()}) {
        error.clear();
        EXPECT_FALSE(LoadSongText(song, bad, &error));
        EXPECT_NE(error.find(bad), std::string::npos) << error;
        EXPECT_EQ(song.InstrumentCount(), 2);
    }
}

// A song is any table, the play list, Speed or Row, whatever their values: the lowest Speed
// and Row a text can set count as set.
TEST(HoldsSong, AnyPartOfASong) {
    const std::string root = "Track:TTrack=(TrackIndexCount:0;TrackCount:0;PatternCount:0;"
                             "InstrumentCount:0;Speed:";
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {std::string("\177ELF\2\1\1\0\0\0\377\376", 12), false},
        {"Const end;", false},
        {std::string("\0Tracks:array[0..0]of TTrackPattern", 35), false},
        {"Tracks:array[0..65536]of TTrackPattern", false},
        {"Tracks:array[0..0]of TTrackPattern", true},
        {"TracksIndex:array[0..0]of Longint", true},
        {root + "-2147483648;Row:-2147483648;", true},
        {root + "-2147483648;", true},
        {root + "$80000000;Row:0", true},
    };
    for (const auto& [text, holds] : cases) {
        EXPECT_EQ(HoldsSong(text), holds) << text;
    }
}

} // namespace
} // namespace kellix
