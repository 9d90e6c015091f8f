#include "song_fixture.h"

#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace kellix {
namespace {

// Random songs within what the format carries: values written unsigned are not negative, and
// every code begins with one space and a non-delimiter, ends in a non-blank and holds "end"
// only inside words or comments, so that it reads back as written.
struct SongMaker {
    std::mt19937 random{20261206};

    int32_t Below(int32_t n) { return std::uniform_int_distribution<int32_t>(0, n - 1)(random); }
    int32_t Unsigned() {
        return Below(2) ? Below(300) : Below(std::numeric_limits<int32_t>::max());
    }
    int32_t Signed() {
        return Below(2) ? Below(100) - 50
                        : std::uniform_int_distribution<int32_t>(
                              std::numeric_limits<int32_t>::min(),
                              std::numeric_limits<int32_t>::max())(random);
    }

    std::string Code() {
        static const char* const kPieces[] = {"x",
                                              " ",
                                              ":= ",
                                              "1;",
                                              "\r\n",
                                              "\t",
                                              "blend(",
                                              ")",
                                              "endless",
                                              "z_end",
                                              "END2",
                                              "Tracks",
                                              "Point3: array [0..2] of TIdPoint",
                                              "Function InitSample0:pointer;",
                                              "begin",
                                              "'s'",
                                              "$1F",
                                              "// the end\r\n",
                                              "// END;\r\n",
                                              "caf\xe9",
                                              "bEnd",
                                              "=("};
        std::string code = " A";
        for (int i = Below(12); i > 0; --i) {
            code += kPieces[Below(sizeof kPieces / sizeof kPieces[0])];
        }
        return code + "Z";
    }

    void Fill(TTrack& song, TInstrumentCode& code) {
        ResizeInstruments(song, Below(5));
        ResizeInstrumentCode(code, song.InstrumentCount);
        for (int32_t i = 0; i < song.InstrumentCount; ++i) {
            song.Instrument[i].SampleTone = Signed();
            song.Instrument[i].Env = {Unsigned(), Unsigned(), Unsigned()};
            SetCode(code, i, Code().c_str());
        }
        ResizePatterns(song, Below(6));
        for (int32_t p = 0; p < song.PatternCount; ++p) {
            ResizePoints(song, p, Below(4));
            for (int32_t e = 0; e < song.Patterns[p].PointsCount; ++e) {
                song.Patterns[p].Points[e] = {Unsigned(), Signed(), Unsigned(), Unsigned(),
                                              Unsigned()};
            }
        }
        ResizeTracks(song, Below(6));
        for (int32_t t = 0; t < song.TrackCount; ++t) {
            ResizePatternIndex(song, t, Below(5));
            for (int32_t e = 0; e < song.Tracks[t].PatternCount; ++e) {
                song.Tracks[t].PatternIndex[e] = Unsigned();
            }
        }
        ResizeTracksIndex(song, Below(7));
        for (int32_t e = 0; e < song.TrackIndexCount; ++e) {
            song.TracksIndex[e] = Unsigned();
        }
        song.Speed = Unsigned();
        song.Row = Unsigned();
    }
};

TEST(SongTextRoundTrip, WriteReadWriteGivesTheSameBytes) {
    SongMaker maker;
    for (int round = 0; round < 500; ++round) {
        LocalSong original;
        maker.Fill(original.song, original.code);
        std::string text = SongText(original.song, original.code);
        LocalSong copy;
        ReadSongText(copy.song, copy.code, text);
        ASSERT_EQ(SongText(copy.song, copy.code), text) << "round " << round;
    }
}

} // namespace
} // namespace kellix
