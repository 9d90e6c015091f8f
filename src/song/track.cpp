#include "song/track.h"

#include "support/blocks.h"

#include <algorithm>
#include <cstring>

namespace kellix {

TTrack Song;
TInstrumentCode InstrumentCode;

namespace {

// Reallocates a plain array: n zero elements with the first min(n, count) copied over; the
// old block is freed. n < 1 gives a null array.
template <class T> T* Reallocate(T* old, int32_t count, int32_t n) {
    T* fresh = nullptr;
    if (n > 0) {
        AllocBlock(fresh, sizeof(T) * static_cast<std::size_t>(n));
        std::memset(static_cast<void*>(fresh), 0, sizeof(T) * static_cast<std::size_t>(n));
        int32_t kept = std::min(std::max(count, 0), n);
        if (kept > 0 && old) {
            std::memcpy(static_cast<void*>(fresh), old, sizeof(T) * static_cast<std::size_t>(kept));
        }
    }
    FreeBlock(old);
    return fresh;
}

} // namespace

void ResizeInstruments(TTrack& song, int32_t n) {
    n = std::max(n, 0);
    for (int32_t i = n; i < song.InstrumentCount; ++i) {
        ReleaseSample(song.Instrument[i].Sample);
        FreeBlock(song.Instrument[i].Name);
    }
    song.Instrument = Reallocate(song.Instrument, song.InstrumentCount, n);
    song.InstrumentCount = n;
}

void ResizePatterns(TTrack& song, int32_t n) {
    n = std::max(n, 0);
    for (int32_t i = n; i < song.PatternCount; ++i) {
        FreeBlock(song.Patterns[i].Points);
    }
    song.Patterns = Reallocate(song.Patterns, song.PatternCount, n);
    song.PatternCount = n;
}

void ResizeTracks(TTrack& song, int32_t n) {
    n = std::max(n, 0);
    for (int32_t i = n; i < song.TrackCount; ++i) {
        FreeBlock(song.Tracks[i].PatternIndex);
    }
    song.Tracks = Reallocate(song.Tracks, song.TrackCount, n);
    song.TrackCount = n;
}

void ResizeTracksIndex(TTrack& song, int32_t n) {
    n = std::max(n, 0);
    int32_t old = song.TrackIndexCount;
    song.TracksIndex = Reallocate(song.TracksIndex, old, n);
    int32_t modulus = song.TrackCount > 0 ? song.TrackCount : 1;
    for (int32_t i = std::max(old, 0); i < n; ++i) {
        song.TracksIndex[i] = i % modulus;
    }
    song.TrackIndexCount = n;
}

void ResizePoints(TTrack& song, int32_t pattern, int32_t n) {
    if (pattern < 0 || pattern >= song.PatternCount) {
        return;
    }
    n = std::max(n, 0);
    TPattern& p = song.Patterns[pattern];
    p.Points = Reallocate(p.Points, p.PointsCount, n);
    p.PointsCount = n;
}

void ResizePatternIndex(TTrack& song, int32_t track, int32_t n) {
    if (track < 0 || track >= song.TrackCount) {
        return;
    }
    n = std::max(n, 0);
    TTrackPattern& t = song.Tracks[track];
    t.PatternIndex = Reallocate(t.PatternIndex, t.PatternCount, n);
    t.PatternCount = n;
}

int32_t FindPoint(const TPattern& pattern, int32_t time, int32_t tone, int32_t instrument) {
    for (int32_t i = pattern.PointsCount - 1; i >= 0; --i) {
        const TIdPoint& p = pattern.Points[i];
        if (p.Time == time && p.Tone == tone && p.Instrument == instrument) {
            return i;
        }
    }
    return -1;
}

int32_t AppendPoint(TPattern& pattern) {
    int32_t index = std::max(pattern.PointsCount, 0);
    pattern.Points = Reallocate(pattern.Points, pattern.PointsCount, index + 1);
    pattern.PointsCount = index + 1;
    return index;
}

namespace {

template <class T> void DeleteAt(T*& array, int32_t& count, int32_t index) {
    if (index < 0 || index >= count) {
        return;
    }
    T* fresh = nullptr;
    if (count > 1) {
        AllocBlock(fresh, sizeof(T) * static_cast<std::size_t>(count - 1));
        std::memcpy(static_cast<void*>(fresh), array, sizeof(T) * static_cast<std::size_t>(index));
        std::memcpy(static_cast<void*>(fresh + index), array + index + 1,
                    sizeof(T) * static_cast<std::size_t>(count - index - 1));
    }
    FreeBlock(array);
    array = fresh;
    --count;
}

} // namespace

void DeletePoint(TPattern& pattern, int32_t index) {
    DeleteAt(pattern.Points, pattern.PointsCount, index);
}

int32_t FindPatternIndex(const TTrackPattern& track, int32_t pattern) {
    for (int32_t i = track.PatternCount - 1; i >= 0; --i) {
        if (track.PatternIndex[i] == pattern) {
            return i;
        }
    }
    return -1;
}

int32_t AppendPatternIndex(TTrackPattern& track) {
    int32_t index = std::max(track.PatternCount, 0);
    track.PatternIndex = Reallocate(track.PatternIndex, track.PatternCount, index + 1);
    track.PatternCount = index + 1;
    return index;
}

void DeletePatternIndex(TTrackPattern& track, int32_t index) {
    DeleteAt(track.PatternIndex, track.PatternCount, index);
}

const char* InstrumentCodeAt(const TInstrumentCode& code, int32_t index) {
    return index >= 0 && index < code.Count ? code.Texts[index] : nullptr;
}

void ResizeInstrumentCode(TInstrumentCode& code, int32_t n) {
    n = std::max(n, 0);
    for (int32_t i = n; i < code.Count; ++i) {
        FreeBlock(code.Texts[i]);
    }
    code.Texts = Reallocate(code.Texts, code.Count, n);
    code.Count = n;
}

void NewSong(TTrack& song, TInstrumentCode& code) {
    ResizeInstrumentCode(code, 0);
    ResizeInstrumentCode(code, 10);
    ResizeInstruments(song, 0);
    ResizeInstruments(song, 10);
    ResizePatterns(song, 0);
    ResizePatterns(song, 10);
    ResizeTracks(song, 0);
    ResizeTracks(song, 10);
    ResizeTracksIndex(song, 0);
    ResizeTracksIndex(song, 10);
    song.Row = kDefaultRow;
    song.Speed = kDefaultSpeed;
}

void EmptySong(TTrack& song, TInstrumentCode& code) {
    ResizeInstrumentCode(code, 0);
    ResizeInstruments(song, 0);
    ResizePatterns(song, 0);
    ResizeTracks(song, 0);
    ResizeTracksIndex(song, 0);
}

} // namespace kellix
