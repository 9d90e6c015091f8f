// Feeds arbitrary text to the song text reader, then checks the model it leaves and writes it
// back out. Any crash, sanitizer report, leak, broken model or report is a failure.
#include "songtext/song_reader.h"
#include "songtext/song_writer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

// The reader leaves nothing but what the song file can say: instruments, patterns, tracks and
// the play list of plain values.
bool ModelIsWhole(const kellix::TTrack& song) {
    bool whole = song.InstrumentCount() >= 0;
    for (const kellix::TPattern& p : song.Patterns) {
        whole = whole && p.PointsCount() <= kellix::kMaxSongListEntries;
    }
    for (const kellix::TTrackPattern& t : song.Tracks) {
        whole = whole && t.PatternCount() <= kellix::kMaxSongListEntries;
    }
    return whole && song.PatternCount() <= kellix::kMaxSongTables &&
           song.TrackCount() <= kellix::kMaxSongTables &&
           song.InstrumentCount() <= kellix::kMaxSongTables;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kellix::TTrack song;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const kellix::SongReadReport report = kellix::ReadSongText(song, text);
    if (!ModelIsWhole(song) || report.Dropped.size() > kellix::kMaxDroppedLines + 1 ||
        report.ZeroByte.value_or(size) != std::min(text.find('\0'), size)) {
        __builtin_trap();
    }
    if (kellix::SongText(song).compare(0, 8, " Const\r\n") != 0) {
        __builtin_trap();
    }
    return 0;
}
