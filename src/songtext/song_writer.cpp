#include "songtext/song_writer.h"

#include "support/atomic_file.h"
#include "support/numtext.h"

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

const char* Separator(int32_t index, int32_t count) {
    return index < count - 1 ? "," : "";
}

void PutInstruments(std::string& out, const TTrack& song) {
    if (song.InstrumentCount >= 1) {
        ArrayHeader(out, "Instruments", "TInstrument", song.InstrumentCount - 1);
        for (int32_t i = 0; i < song.InstrumentCount; ++i) {
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
            out += Separator(i, song.InstrumentCount);
        }
    }
    out += ");\r\n\r\n";
}

void PutPoints(std::string& out, const TTrack& song) {
    for (int32_t p = 0; p < song.PatternCount; ++p) {
        const TPattern& pattern = song.Patterns[p];
        if (pattern.PointsCount <= 0) {
            continue;
        }
        out += "  Point";
        PutUnsigned(out, p);
        ArrayHeader(out, nullptr, "TIdPoint", pattern.PointsCount - 1);
        for (int32_t i = 0; i < pattern.PointsCount; ++i) {
            const TIdPoint& point = pattern.Points[i];
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
            out += Separator(i, pattern.PointsCount);
        }
        out += ");\r\n\r\n";
    }
}

void PutPatterns(std::string& out, const TTrack& song) {
    if (song.PatternCount >= 1) {
        ArrayHeader(out, "Patterns", "TPattern", song.PatternCount - 1);
        for (int32_t p = 0; p < song.PatternCount; ++p) {
            const TPattern& pattern = song.Patterns[p];
            out += "\r\n   ( PointsCount: ";
            PutUnsigned(out, pattern.PointsCount);
            out += "; Points: ";
            if (pattern.Points) {
                out += "@Point";
                PutUnsigned(out, p);
                out += " )";
            } else {
                out += "nil )";
            }
            out += Separator(p, song.PatternCount);
        }
    }
    out += ");\r\n\r\n";
}

void PutNumberList(std::string& out, const int32_t* values, int32_t count) {
    for (int32_t i = 0; i < count; ++i) {
        PutUnsigned(out, values[i]);
        out += Separator(i, count);
    }
}

void PutPatternLists(std::string& out, const TTrack& song) {
    for (int32_t t = 0; t < song.TrackCount; ++t) {
        const TTrackPattern& track = song.Tracks[t];
        if (track.PatternCount <= 0) {
            continue;
        }
        out += "  PatternIndex";
        PutUnsigned(out, t);
        ArrayHeader(out, nullptr, "longint", track.PatternCount - 1);
        PutNumberList(out, track.PatternIndex, track.PatternCount);
        out += ");\r\n\r\n";
    }
}

void PutTracks(std::string& out, const TTrack& song) {
    if (song.TrackCount >= 1) {
        ArrayHeader(out, "Tracks", "TTrackPattern", song.TrackCount - 1);
        for (int32_t t = 0; t < song.TrackCount; ++t) {
            const TTrackPattern& track = song.Tracks[t];
            out += "\r\n   ( PatternCount: ";
            PutUnsigned(out, track.PatternCount);
            out += "; PatternIndex: ";
            if (track.PatternIndex) {
                out += "@PatternIndex";
                PutUnsigned(out, t);
                out += " )";
            } else {
                out += "nil )";
            }
            out += Separator(t, song.TrackCount);
        }
    }
    out += ");\r\n\r\n";
}

void PutPlayList(std::string& out, const TTrack& song) {
    if (song.TrackIndexCount >= 1) {
        ArrayHeader(out, "TracksIndex", "Longint", song.TrackIndexCount - 1);
        PutNumberList(out, song.TracksIndex, song.TrackIndexCount);
    }
    out += ");\r\n\r\n";
}

void PutRoot(std::string& out, const TTrack& song) {
    out += "  Track:TTrack=(\r\n   TrackIndexCount: ";
    PutUnsigned(out, song.TrackIndexCount);
    out += ";\r\n   TrackCount: ";
    PutUnsigned(out, song.TrackCount);
    out += ";\r\n   PatternCount: ";
    PutUnsigned(out, song.PatternCount);
    out += ";\r\n   InstrumentCount: ";
    PutUnsigned(out, song.InstrumentCount);
    out += ";\r\n   Speed: ";
    PutUnsigned(out, song.Speed);
    out += ";\r\n   Row: ";
    PutUnsigned(out, song.Row);
    out += ";\r\n   TracksIndex: @TracksIndex;\r\n   Tracks: @Tracks;\r\n   Patterns: @Patterns;"
           "\r\n   Instrument: @Instruments;\r\n  );\r\n\r\n";
}

void PutFunctions(std::string& out, const TTrack& song, const TInstrumentCode& code) {
    for (int32_t k = 0; k < song.InstrumentCount; ++k) {
        out += "Function InitSample";
        PutUnsigned(out, k);
        out += ":pointer;\r\nbegin\r\n";
        if (k < code.Count && code.Texts[k]) {
            out += code.Texts[k];
        }
        out += "\r\nend;\r\n\r\n";
    }
}

} // namespace

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

std::string SongText(const TTrack& song, const TInstrumentCode& code) {
    std::string out = " Const\r\n";
    PutInstruments(out, song);
    PutPoints(out, song);
    PutPatterns(out, song);
    PutPatternLists(out, song);
    PutTracks(out, song);
    PutPlayList(out, song);
    PutRoot(out, song);
    PutFunctions(out, song, code);
    return out;
}

bool SaveSongText(const TTrack& song, const TInstrumentCode& code, const std::string& path,
                  std::string* error) {
    std::string text = SongText(song, code);
    return WriteFileAtomically(path, text.data(), text.size(), error);
}

} // namespace kellix
