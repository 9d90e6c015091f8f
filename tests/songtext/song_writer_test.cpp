#include "song_fixture.h"
#include "test_files.h"

#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <climits>
#include <random>

namespace kellix {
namespace {

TEST(SongText, EveryTableAndNumberForm) {
    // Empty tables write only their closings.
    EXPECT_EQ(SongText(TTrack{}).substr(0, 48),
              " Const\r\n);\r\n\r\n);\r\n\r\n);\r\n\r\n);\r\n\r\n  Track:TTrack=(");
    EXPECT_EQ(SongText(BuildSmallSong()), kSmallSongText);
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
        TTrack song;
        ResizeInstruments(song, below(5));
        for (TInstrument& instrument : song.Instrument.Edit()) {
            std::string code = " A";
            for (int n = below(12); n > 0; --n) {
                code += below(10) ? pieces[below(std::size(pieces))] : heads[below(2)];
            }
            instrument = {any(), {whole(), whole(), whole()}, CodeText(code + "Z")};
        }
        ResizePatterns(song, below(6));
        for (TPattern& pattern : song.Patterns.Edit()) {
            pattern.Points.Resize(below(4));
            for (TIdPoint& e : pattern.Points.Edit()) {
                e = {whole(), any(), whole(), whole(), whole()};
            }
        }
        ResizeTracks(song, below(6));
        for (TTrackPattern& track : song.Tracks.Edit()) {
            track.PatternIndex.Resize(below(5));
            for (int32_t& e : track.PatternIndex.Edit()) {
                e = whole();
            }
        }
        ResizeTracksIndex(song, below(7));
        for (int32_t& e : song.TracksIndex.Edit()) {
            e = whole();
        }
        song.Speed = whole();
        song.Row = whole();
        const std::string text = SongText(song);
        TTrack copy;
        ReadSongText(copy, text);
        ASSERT_EQ(SongText(copy), text) << "round " << round;
    }
}

// Sizes around the reader's limit of 256 MiB: a text up to it is written, a larger one refused
// with its size rounded up to whole MiB.
TEST(SongTextFits, ComparesWithTheReadersLimit) {
    const std::pair<std::size_t, std::string> cases[] = {
        {186u << 20, ""},
        {256u << 20, ""},
        {(256u << 20) + 1, "257 MiB"},
        {273000000, "261 MiB"},
    };
    for (const auto& [size, shown] : cases) {
        std::string error;
        EXPECT_EQ(SongTextFits(size, "big.txt", &error), shown.empty()) << size;
        EXPECT_EQ(error, shown.empty()
                             ? ""
                             : "Cannot write \"big.txt\": the song text would be " + shown +
                                   ", more than the 256 MiB a song file may hold; it "
                                   "was not written");
    }
}

// A song of many notes against a lowered limit: one byte too many and the file keeps what it
// held; at the limit it is written.
TEST(SaveSongText, NeverWritesWhatTheReaderWouldRefuse) {
    TTrack song;
    ResizePatterns(song, 1);
    ResizePoints(song, 0, 2000);
    const std::size_t size = SongText(song).size();
    kellix::test::TempFolder folder;
    const std::string path = folder / "song.txt";
    kellix::test::WriteFile(path, "old");
    std::string error;
    EXPECT_FALSE(SaveSongText(song, path, &error, size - 1));
    EXPECT_EQ(error, "Cannot write \"" + path + "\": the song text would be " +
                         std::to_string(size) + " bytes, more than the " +
                         std::to_string(size - 1) +
                         " bytes a song file may hold; it was not written");
    EXPECT_EQ(kellix::test::ReadFile(path), "old");
    EXPECT_TRUE(SaveSongText(song, path, &error, size)) << error;
    EXPECT_EQ(kellix::test::ReadFile(path).size(), size);
}

} // namespace
} // namespace kellix
