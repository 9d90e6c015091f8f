#include "song_fixture.h"

#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <span>

namespace kellix {
namespace {

TEST(SongText, EveryTableAndNumberForm) {
    LocalSong s;
    // Empty tables write only their closings.
    EXPECT_EQ(SongText(s.song, s.code).substr(0, 48),
              " Const\r\n);\r\n\r\n);\r\n\r\n);\r\n\r\n);\r\n\r\n  Track:TTrack=(");
    BuildSmallSong(s.song, s.code);
    EXPECT_EQ(SongText(s.song, s.code), kSmallSongText);
}

// Random songs within what the format carries: values written unsigned are not negative, and
// every code begins with one space and a non-delimiter, ends in a non-blank and holds "end"
// only inside words or comments, so that it reads back as written.
TEST(SongText, WriteReadWriteGivesTheSameBytes) {
    std::mt19937 random{20261206};
    auto below = [&](int32_t n) {
        return std::uniform_int_distribution<int32_t>(0, n - 1)(random);
    };
    auto whole = [&] { return below(2) ? below(300) : below(INT32_MAX); };
    auto any = [&] { return below(2) ? below(100) - 50 : static_cast<int32_t>(random()); };
    // Pieces of code, with a section header or a function head now and then.
    const char* const pieces[] = {
        "x",     " ",       ":= 1;",           "\r\n ",        "\t",      "blend(",
        ")",     "endless", "z_end",           "END2",         "bEnd",    "Tracks",
        "begin", "'s'",     "// the end\r\n ", "// END;\r\n ", "caf\xe9", "=("};
    const char* const heads[] = {"Point3: array [0..2] of TIdPoint",
                                 "Function InitSample0:pointer;"};
    for (int round = 0; round < 500; ++round) {
        LocalSong original;
        TTrack& song = original.song;
        ResizeInstruments(song, below(5));
        ResizeInstrumentCode(original.code, song.InstrumentCount);
        for (int32_t i = 0; i < song.InstrumentCount; ++i) {
            song.Instrument[i].SampleTone = any();
            song.Instrument[i].Env = {whole(), whole(), whole()};
            std::string code = " A";
            for (int n = below(12); n > 0; --n) {
                code += below(10) ? pieces[below(std::size(pieces))] : heads[below(2)];
            }
            SetCode(original.code, i, (code + "Z").c_str());
        }
        ResizePatterns(song, below(6));
        for (int32_t p = 0; p < song.PatternCount; ++p) {
            ResizePoints(song, p, below(4));
            for (TIdPoint& e : std::span(song.Patterns[p].Points, song.Patterns[p].PointsCount)) {
                e = {whole(), any(), whole(), whole(), whole()};
            }
        }
        ResizeTracks(song, below(6));
        for (int32_t t = 0; t < song.TrackCount; ++t) {
            ResizePatternIndex(song, t, below(5));
            for (int32_t& e : std::span(song.Tracks[t].PatternIndex, song.Tracks[t].PatternCount)) {
                e = whole();
            }
        }
        ResizeTracksIndex(song, below(7));
        for (int32_t& e : std::span(song.TracksIndex, song.TrackIndexCount)) {
            e = whole();
        }
        song.Speed = whole();
        song.Row = whole();
        const std::string text = SongText(song, original.code);
        LocalSong copy;
        ReadSongText(copy.song, copy.code, text);
        ASSERT_EQ(SongText(copy.song, copy.code), text) << "round " << round;
    }
}

} // namespace
} // namespace kellix
