// The effects record: written only for effects that are not a new song's, read back, limited as
// the mixer uses them, and passed over by a reader that does not know it.
#include "song_fixture.h"

#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

namespace kellix {
namespace {

// Worked out from the format: a left delay of 441, a left decay of -9980, the reverb on.
constexpr const char* kRecord =
    "  Effects:TEffects=(\r\n   DelayL: 441;\r\n   DelayR: 15876;\r\n   DecayL: -9980;\r\n"
    "   DecayR: 8191;\r\n   Reverb: 1;\r\n   Amplitude: 4000;\r\n   Step: 10000;\r\n"
    "   Cutoff: 256;\r\n  );\r\n\r\n";

// The small song's text with a record between the root record and the functions, read.
std::string WithRecord(const std::string& record) {
    std::string text = kSmallSongText;
    return text.insert(text.find("Function InitSample0"), record);
}
TTrack Read(const std::string& text) {
    TTrack song;
    ReadSongText(song, text);
    return song;
}

TEST(EffectsRecord, WrittenOnlyForChangedEffectsAndReadBackLimited) {
    TTrack song = BuildSmallSong();
    EXPECT_EQ(SongText(song), kSmallSongText) << "a new song's effects add nothing";
    song.Effects.DelayL = 441;
    song.Effects.DecayL = -9980;
    song.Effects.Reverb = 1;
    EXPECT_EQ(SongText(song), WithRecord(kRecord));
    EXPECT_EQ(Read(WithRecord(kRecord)).Effects, song.Effects);
    const std::pair<const char*, TEffects> cases[] = {
        {"effects: teffects=( delayl: 50000; delayr: -3; decayl: 40000; decayr: -1; reverb: 7;"
         " amplitude: 99999; step: 10400; cutoff: 0 );",
         {44099, 0, 40000, -1, 1, 44100, 10000, 1}},
        // A field out of order ends the record there.
        {"Effects:TEffects=( DelayL: 5; Oops: 1; DelayR: 6 );", {.DelayL = 5}},
        {"Effects:TRecord=( DelayL: 5 );", {}},
    };
    for (const auto& [record, expected] : cases) {
        const TTrack read = Read(WithRecord(record));
        EXPECT_EQ(read.Effects, expected) << record;
        EXPECT_EQ(CodeOf(read, 0), " x := 1; // the end") << "the functions after it are read";
    }
}

// No word of the record is a section name of the format, so a reader that does not know the
// record (here: one that knows it under another name) reads the rest as without it.
TEST(EffectsRecord, AReaderThatDoesNotKnowItSkipsIt) {
    std::string words = kRecord;
    for (char* w = std::strtok(words.data(), " ,.:;()[]'=<>\r\n"); w;
         w = std::strtok(nullptr, " ,.:;()[]'=<>\r\n")) {
        std::string upper = w;
        for (char& c : upper) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        EXPECT_TRUE(upper.rfind("POINT", 0) && upper.rfind("PATTERNINDEX", 0)) << upper;
        for (const char* name :
             {"INSTRUMENTS", "PATTERNS", "TRACKSINDEX", "TRACKS", "TRACK", "FUNCTION"}) {
            EXPECT_NE(upper, name);
        }
    }
    std::string unknown = kRecord;
    EXPECT_EQ(Read(WithRecord(unknown.replace(2, 16, "Reverbs:TReverbs"))), Read(kSmallSongText));
}

} // namespace
} // namespace kellix
