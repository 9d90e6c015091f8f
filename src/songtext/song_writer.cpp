#include "songtext/song_writer.h"

#include "songtext/effects_record.h"
#include "support/atomic_file.h"
#include "support/numtext.h"

#include <span>
#include <utility>

namespace kellix {

namespace {

void PutUnsigned(std::string& out, int32_t value) {
    char digits[16];
    out.append(digits, WriteUnsigned(digits, value));
}

void PutSigned(std::string& out, int32_t value) {
    char digits[16];
    out.append(digits, WriteSigned(digits, value));
}

// Whole MiB, rounded up, from 1 MiB on (a text just over the limit is then never shown as the
// limit itself); bytes below.
std::string SizeText(std::size_t bytes) {
    constexpr std::size_t kMiB = std::size_t{1} << 20;
    if (bytes < kMiB) {
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    return std::to_string((bytes + kMiB - 1) / kMiB) + " MiB";
}

const char* Separator(int32_t index, int32_t count) {
    return index < count - 1 ? "," : "";
}

void PutInstruments(std::string& out, const TTrack& song) {
    if (song.InstrumentCount() >= 1) {
        ArrayHeader(out, "Instruments", "TInstrument", song.InstrumentCount() - 1);
        for (int32_t i = 0; i < song.InstrumentCount(); ++i) {
            const TInstrument& instrument = song.Instrument[i];
            out += "\r\n   ( SampleTone: ";
            PutSigned(out, instrument.SampleTone);
            out += "; Name: nil; Sample: nil; Env: ( Attack: ";
            PutUnsigned(out, instrument.Env.Attack);
            out += "; Cont: ";
            PutUnsigned(out, instrument.Env.Cont);
            out += "; Ende: ";
            PutUnsigned(out, instrument.Env.Ende);
            out += " ))";
            out += Separator(i, song.InstrumentCount());
        }
    }
    out += ");\r\n\r\n";
}

void PutPoints(std::string& out, const TTrack& song) {
    for (int32_t p = 0; p < song.PatternCount(); ++p) {
        const TPattern& pattern = song.Patterns[p];
        PutPointSection(out, p, std::span(pattern.Points.begin(), pattern.Points.end()));
    }
}

// An array of records that each hold a count and a reference to a numbered array ("@Point3")
// or nil. element(i) gives record i's count and whether its array is present.
template <class Element>
void PutCountedReferences(std::string& out, const char* name, const char* type, int32_t count,
                          const char* countLabel, const char* refLabel, const char* refName,
                          Element element) {
    if (count >= 1) {
        ArrayHeader(out, name, type, count - 1);
        for (int32_t i = 0; i < count; ++i) {
            auto [items, present] = element(i);
            out += "\r\n   ( ";
            out += countLabel;
            PutUnsigned(out, items);
            out += refLabel;
            if (present) {
                out += refName;
                PutUnsigned(out, i);
                out += " )";
            } else {
                out += "nil )";
            }
            out += Separator(i, count);
        }
    }
    out += ");\r\n\r\n";
}

void PutPatterns(std::string& out, const TTrack& song) {
    PutCountedReferences(out, "Patterns", "TPattern", song.PatternCount(),
                         "PointsCount: ", "; Points: ", "@Point", [&](int32_t p) {
                             const TPattern& pattern = song.Patterns[p];
                             return std::pair{pattern.PointsCount(), !pattern.Points.empty()};
                         });
}

void PutNumberList(std::string& out, std::span<const int32_t> values) {
    const auto count = static_cast<int32_t>(values.size());
    for (int32_t i = 0; i < count; ++i) {
        PutUnsigned(out, values[static_cast<std::size_t>(i)]);
        out += Separator(i, count);
    }
}

void PutPatternLists(std::string& out, const TTrack& song) {
    for (int32_t t = 0; t < song.TrackCount(); ++t) {
        const TTrackPattern& track = song.Tracks[t];
        PutPatternIndexSection(out, t,
                               std::span(track.PatternIndex.begin(), track.PatternIndex.end()));
    }
}

void PutTracks(std::string& out, const TTrack& song) {
    PutCountedReferences(out, "Tracks", "TTrackPattern", song.TrackCount(),
                         "PatternCount: ", "; PatternIndex: ", "@PatternIndex", [&](int32_t t) {
                             const TTrackPattern& track = song.Tracks[t];
                             return std::pair{track.PatternCount(), !track.PatternIndex.empty()};
                         });
}

void PutPlayList(std::string& out, const TTrack& song) {
    if (song.TrackIndexCount() >= 1) {
        ArrayHeader(out, "TracksIndex", "Longint", song.TrackIndexCount() - 1);
        PutNumberList(out, std::span(song.TracksIndex.begin(), song.TracksIndex.end()));
    }
    out += ");\r\n\r\n";
}

void PutRoot(std::string& out, const TTrack& song) {
    out += "  Track:TTrack=(\r\n   TrackIndexCount: ";
    PutUnsigned(out, song.TrackIndexCount());
    out += ";\r\n   TrackCount: ";
    PutUnsigned(out, song.TrackCount());
    out += ";\r\n   PatternCount: ";
    PutUnsigned(out, song.PatternCount());
    out += ";\r\n   InstrumentCount: ";
    PutUnsigned(out, song.InstrumentCount());
    out += ";\r\n   Speed: ";
    PutUnsigned(out, song.Speed);
    out += ";\r\n   Row: ";
    PutUnsigned(out, song.Row);
    out += ";\r\n   TracksIndex: @TracksIndex;\r\n   Tracks: @Tracks;\r\n   Patterns: @Patterns;"
           "\r\n   Instrument: @Instruments;\r\n  );\r\n\r\n";
}

void PutFunctions(std::string& out, const TTrack& song) {
    for (int32_t k = 0; k < song.InstrumentCount(); ++k) {
        out += "Function InitSample";
        PutUnsigned(out, k);
        out += ":pointer;\r\nbegin\r\n";
        out += song.Instrument[k].Code.Text();
        out += "\r\nend;\r\n\r\n";
    }
}

} // namespace

void PutPointSection(std::string& out, int32_t pattern, std::span<const TIdPoint> points) {
    const auto count = static_cast<int32_t>(points.size());
    if (count <= 0) {
        return;
    }
    out += "  Point";
    PutUnsigned(out, pattern);
    ArrayHeader(out, nullptr, "TIdPoint", count - 1);
    for (int32_t i = 0; i < count; ++i) {
        const TIdPoint& point = points[static_cast<std::size_t>(i)];
        out += "\r\n   ( Time: ";
        PutUnsigned(out, point.Time);
        out += "; Tone: ";
        PutSigned(out, point.Tone);
        out += "; Instrument: ";
        PutUnsigned(out, point.Instrument);
        out += "; Vol: ";
        PutUnsigned(out, point.Vol);
        out += "; Pan: ";
        PutUnsigned(out, point.Pan);
        out += ")";
        out += Separator(i, count);
    }
    out += ");\r\n\r\n";
}

void PutPatternIndexSection(std::string& out, int32_t track, std::span<const int32_t> patterns) {
    if (patterns.empty()) {
        return;
    }
    out += "  PatternIndex";
    PutUnsigned(out, track);
    ArrayHeader(out, nullptr, "longint", static_cast<int32_t>(patterns.size()) - 1);
    PutNumberList(out, patterns);
    out += ");\r\n\r\n";
}

void ArrayHeader(std::string& out, const char* name, const char* type, int32_t n) {
    if (name) {
        out += "  ";
        out += name;
    }
    out += ": array [0..";
    PutUnsigned(out, n);
    out += "] of ";
    out += type;
    out += "=(";
}

std::string SongText(const TTrack& song) {
    std::string out = " Const\r\n";
    PutInstruments(out, song);
    PutPoints(out, song);
    PutPatterns(out, song);
    PutPatternLists(out, song);
    PutTracks(out, song);
    PutPlayList(out, song);
    PutRoot(out, song);
    PutEffectsRecord(out, song.Effects);
    PutFunctions(out, song);
    return out;
}

bool SongTextFits(std::size_t size, const std::string& path, std::string* error,
                  std::size_t limit) {
    if (size <= limit) {
        return true;
    }
    if (error) {
        *error = "Cannot write \"" + path + "\": the song text would be " + SizeText(size) +
                 ", more than the " + SizeText(limit) + " a song file may hold; it was not written";
    }
    return false;
}

bool WriteSongText(const std::string& path, const std::string& text, std::string* error,
                   std::size_t limit) {
    return SongTextFits(text.size(), path, error, limit) &&
           WriteFileAtomically(path, text.data(), text.size(), error);
}

bool SaveSongText(const TTrack& song, const std::string& path, std::string* error,
                  std::size_t limit) {
    return WriteSongText(path, SongText(song), error, limit);
}

} // namespace kellix
