#include "song_fixture.h"

#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fstream>
#include <sstream>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kellix {
namespace {

TEST(ArrayHeader, NamedAndComposed) {
    std::string out;
    ArrayHeader(out, "Patterns", "TPattern", 2);
    EXPECT_EQ(out, "  Patterns: array [0..2] of TPattern=(");

    out = "  Point7";
    ArrayHeader(out, nullptr, "TIdPoint", 0);
    EXPECT_EQ(out, "  Point7: array [0..0] of TIdPoint=(");
}

const char* kRootOfEmptySong = "  Track:TTrack=(\r\n"
                               "   TrackIndexCount: 0;\r\n"
                               "   TrackCount: 0;\r\n"
                               "   PatternCount: 0;\r\n"
                               "   InstrumentCount: 0;\r\n"
                               "   Speed: 0;\r\n"
                               "   Row: 0;\r\n"
                               "   TracksIndex: @TracksIndex;\r\n"
                               "   Tracks: @Tracks;\r\n"
                               "   Patterns: @Patterns;\r\n"
                               "   Instrument: @Instruments;\r\n"
                               "  );\r\n\r\n";

TEST(SongText, EmptySongHasOnlyClosingsAndRoot) {
    LocalSong s;
    std::string expected = std::string(" Const\r\n"
                                       ");\r\n\r\n"  // instruments
                                       ");\r\n\r\n"  // patterns
                                       ");\r\n\r\n"  // tracks
                                       ");\r\n\r\n") // play list
                           + kRootOfEmptySong;
    EXPECT_EQ(SongText(s.song, s.code), expected);
}

TEST(SongText, DefaultSong) {
    LocalSong s;
    NewSong(s.song, s.code);
    const std::string instrument =
        "\r\n   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 0; Ende: 0 ))";
    const std::string pattern = "\r\n   ( PointsCount: 0; Points: nil )";
    const std::string track = "\r\n   ( PatternCount: 0; PatternIndex: nil )";
    std::string expected = " Const\r\n  Instruments: array [0..9] of TInstrument=(";
    for (int i = 0; i < 10; ++i) {
        expected += instrument + (i < 9 ? "," : "");
    }
    expected += ");\r\n\r\n  Patterns: array [0..9] of TPattern=(";
    for (int i = 0; i < 10; ++i) {
        expected += pattern + (i < 9 ? "," : "");
    }
    expected += ");\r\n\r\n  Tracks: array [0..9] of TTrackPattern=(";
    for (int i = 0; i < 10; ++i) {
        expected += track + (i < 9 ? "," : "");
    }
    expected += ");\r\n\r\n"
                "  TracksIndex: array [0..9] of Longint=(0,1,2,3,4,5,6,7,8,9);\r\n\r\n"
                "  Track:TTrack=(\r\n"
                "   TrackIndexCount: 10;\r\n"
                "   TrackCount: 10;\r\n"
                "   PatternCount: 10;\r\n"
                "   InstrumentCount: 10;\r\n"
                "   Speed: 128;\r\n"
                "   Row: 16;\r\n"
                "   TracksIndex: @TracksIndex;\r\n"
                "   Tracks: @Tracks;\r\n"
                "   Patterns: @Patterns;\r\n"
                "   Instrument: @Instruments;\r\n"
                "  );\r\n\r\n";
    for (int i = 0; i < 10; ++i) {
        expected +=
            "Function InitSample" + std::to_string(i) + ":pointer;\r\nbegin\r\n\r\nend;\r\n\r\n";
    }
    EXPECT_EQ(SongText(s.song, s.code), expected);
}

TEST(SongText, EveryTableAndNumberForm) {
    LocalSong s;
    BuildSmallSong(s.song, s.code);
    EXPECT_EQ(SongText(s.song, s.code), kSmallSongText);
}

TEST(SongText, LongListsStayOnOneLine) {
    LocalSong s;
    ResizeTracks(s.song, 1);
    ResizeTracksIndex(s.song, 5000);
    std::string text = SongText(s.song, s.code);
    std::string head = "  TracksIndex: array [0..4999] of Longint=(0,0,0,";
    std::size_t at = text.find(head);
    ASSERT_NE(at, std::string::npos);
    std::size_t lineEnd = text.find("\r\n", at);
    // 5000 single digits, 4999 commas and ");" after the header.
    EXPECT_EQ(lineEnd - at,
              std::string("  TracksIndex: array [0..4999] of Longint=(").size() + 9999 + 2);
}

struct TempFolder {
    std::string path;
    TempFolder() {
        std::string pattern = testing::TempDir() + "songtextXXXXXX";
        path = mkdtemp(pattern.data());
    }
    ~TempFolder() {
        std::string command = "rm -rf '" + path + "'";
        EXPECT_EQ(system(command.c_str()), 0);
    }
    int EntryCount() const {
        int count = 0;
        DIR* dir = opendir(path.c_str());
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            count += name != "." && name != "..";
        }
        closedir(dir);
        return count;
    }
};

std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(SaveSongText, ReplacesTheFileWholeAndLeavesNoTemporaryFile) {
    TempFolder folder;
    std::string path = folder.path + "/song.txt";
    std::ofstream(path) << "an older and much longer song text than the new one will be";
    chmod(path.c_str(), 0640);
    LocalSong s;
    std::string error;
    ASSERT_TRUE(SaveSongText(s.song, s.code, path, &error)) << error;
    EXPECT_EQ(FileBytes(path), SongText(s.song, s.code));
    EXPECT_EQ(folder.EntryCount(), 1);
    struct stat info;
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(SaveSongText, ReportsATargetThatCannotBeWritten) {
    TempFolder folder;
    LocalSong s;
    std::string error;
    std::string missing = folder.path + "/no/such/folder/song.txt";
    EXPECT_FALSE(SaveSongText(s.song, s.code, missing, &error));
    EXPECT_NE(error.find(missing), std::string::npos) << error;

    // A folder in the target's place cannot be replaced: reported, nothing left behind.
    std::string occupied = folder.path + "/taken";
    ASSERT_EQ(mkdir(occupied.c_str(), 0755), 0);
    error.clear();
    EXPECT_FALSE(SaveSongText(s.song, s.code, occupied, &error));
    EXPECT_NE(error.find(occupied), std::string::npos) << error;
    EXPECT_EQ(folder.EntryCount(), 1);
}

} // namespace
} // namespace kellix
