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

bool ArrayMatches(const void* array, int32_t count) {
    return (count > 0) == (array != nullptr);
}

bool ModelIsWhole(const kellix::TTrack& song, const kellix::TInstrumentCode& code) {
    bool whole = code.Count == song.InstrumentCount &&
                 ArrayMatches(song.Instrument, song.InstrumentCount) &&
                 ArrayMatches(song.Patterns, song.PatternCount) &&
                 ArrayMatches(song.Tracks, song.TrackCount) &&
                 ArrayMatches(song.TracksIndex, song.TrackIndexCount);
    for (int32_t p = 0; whole && p < song.PatternCount; ++p) {
        whole = ArrayMatches(song.Patterns[p].Points, song.Patterns[p].PointsCount);
    }
    for (int32_t t = 0; whole && t < song.TrackCount; ++t) {
        whole = ArrayMatches(song.Tracks[t].PatternIndex, song.Tracks[t].PatternCount);
    }
    for (int32_t i = 0; whole && i < song.InstrumentCount; ++i) {
        whole = !song.Instrument[i].Sample && !song.Instrument[i].Name;
    }
    return whole;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    kellix::TTrack song;
    kellix::TInstrumentCode code;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    kellix::SongReadReport report;
    kellix::ReadSongText(song, code, text, &report);
    if (!ModelIsWhole(song, code) || report.Dropped.size() > kellix::kMaxDroppedLines + 1 ||
        report.ZeroByte.value_or(size) != std::min(text.find('\0'), size)) {
        __builtin_trap();
    }
    if (kellix::SongText(song, code).compare(0, 8, " Const\r\n") != 0) {
        __builtin_trap();
    }
    kellix::EmptySong(song, code);
    return 0;
}
