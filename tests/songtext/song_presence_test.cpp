#include "song_fixture.h"

#include "songtext/song_presence.h"

#include <gtest/gtest.h>

namespace kellix {
namespace {

// A song is any table, the play list, Speed or Row, whatever their values: the lowest Speed
// and Row a text can set count as set.
TEST(HoldsSong, AnyPartOfASong) {
    const std::string root = "Track:TTrack=(TrackIndexCount:0;TrackCount:0;PatternCount:0;"
                             "InstrumentCount:0;Speed:";
    const std::pair<std::string, bool> cases[] = {
        {"", false},
        {std::string("\x7f"
                     "ELF\x02\x01\x01\0\0\0\xff\xfe",
                     12),
         false},
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
