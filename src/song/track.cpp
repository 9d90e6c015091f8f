#include "song/track.h"

namespace kellix {

const std::string& CodeText::Empty() {
    static const std::string empty;
    return empty;
}

void ResizeInstruments(TTrack& song, int32_t n) {
    song.Instrument.Resize(n);
}

void ResizePatterns(TTrack& song, int32_t n) {
    song.Patterns.Resize(n);
}

void ResizeTracks(TTrack& song, int32_t n) {
    song.Tracks.Resize(n);
}

void ResizeTracksIndex(TTrack& song, int32_t n) {
    const int32_t old = song.TrackIndexCount();
    song.TracksIndex.Resize(n);
    if (n <= old) {
        return;
    }
    const int32_t modulus = song.TrackCount() > 0 ? song.TrackCount() : 1;
    std::vector<int32_t>& list = song.TracksIndex.Edit();
    for (int32_t i = old; i < n; ++i) {
        list[static_cast<std::size_t>(i)] = i % modulus;
    }
}

void ResizePoints(TTrack& song, int32_t pattern, int32_t n) {
    if (pattern >= 0 && pattern < song.PatternCount()) {
        song.Patterns.EditAt(pattern).Points.Resize(n);
    }
}

void ResizePatternIndex(TTrack& song, int32_t track, int32_t n) {
    if (track >= 0 && track < song.TrackCount()) {
        song.Tracks.EditAt(track).PatternIndex.Resize(n);
    }
}

int32_t FindPoint(const TPattern& pattern, int32_t time, int32_t tone, int32_t instrument) {
    for (int32_t i = pattern.PointsCount() - 1; i >= 0; --i) {
        const TIdPoint& p = pattern.Points[i];
        if (p.Time == time && p.Tone == tone && p.Instrument == instrument) {
            return i;
        }
    }
    return -1;
}

int32_t AppendPoint(TPattern& pattern, const TIdPoint& point) {
    pattern.Points.Edit().push_back(point);
    return pattern.PointsCount() - 1;
}

void DeletePoint(TPattern& pattern, int32_t index) {
    pattern.Points.EraseAt(index);
}

int32_t FindPatternIndex(const TTrackPattern& track, int32_t pattern) {
    for (int32_t i = track.PatternCount() - 1; i >= 0; --i) {
        if (track.PatternIndex[i] == pattern) {
            return i;
        }
    }
    return -1;
}

int32_t AppendPatternIndex(TTrackPattern& track, int32_t pattern) {
    track.PatternIndex.Edit().push_back(pattern);
    return track.PatternCount() - 1;
}

void DeletePatternIndex(TTrackPattern& track, int32_t index) {
    track.PatternIndex.EraseAt(index);
}

const CodeText& InstrumentCodeAt(const TTrack& song, int32_t index) {
    static const CodeText none;
    return index >= 0 && index < song.InstrumentCount() ? song.Instrument[index].Code : none;
}

void SetInstrumentCode(TTrack& song, int32_t index, std::string_view text) {
    if (index >= 0 && index < song.InstrumentCount()) {
        song.Instrument.EditAt(index).Code = CodeText(text);
    }
}

TTrack NewSong() {
    TTrack song;
    ResizeInstruments(song, 10);
    ResizePatterns(song, 10);
    ResizeTracks(song, 10);
    ResizeTracksIndex(song, 10);
    song.Row = kDefaultRow;
    song.Speed = kDefaultSpeed;
    return song;
}

} // namespace kellix
