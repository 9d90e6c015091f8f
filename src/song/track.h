#pragma once

#include "song/sample.h"

#include <cstdint>

namespace kellix {

// One note event. Time is in steps of Speed x 32 frames from the pattern start; Tone in
// semitones (24 plays a sample at its own speed); Vol x 127 is the voice's peak; Pan 0..255.
struct TIdPoint {
    int32_t Time;
    int32_t Tone;
    int32_t Instrument;
    int32_t Vol;
    int32_t Pan;
};

struct TPattern {
    int32_t PointsCount;
    TIdPoint* Points;
};

// One track: the patterns that start together.
struct TTrackPattern {
    int32_t PatternCount;
    int32_t* PatternIndex;
};

// Envelope durations in output frames: rise over Attack, hold for Cont, fall over Ende.
struct TEnvelope {
    int32_t Attack;
    int32_t Cont;
    int32_t Ende;
};

struct TInstrument {
    int32_t SampleTone; // tuning in sixteenths of a semitone
    char* Name;         // reserved, always null
    SampleBlock* Sample;
    TEnvelope Env;
};

// The song root. Every array is a plain block owned by its parent; an empty array is null with
// a count of 0. References into an array are invalid after it is resized.
struct TTrack {
    int32_t TrackIndexCount = 0;
    int32_t TrackCount = 0;
    int32_t PatternCount = 0;
    int32_t InstrumentCount = 0;
    int32_t Speed = 0;
    int32_t Row = 0;
    int32_t* TracksIndex = nullptr; // the play list
    TTrackPattern* Tracks = nullptr;
    TPattern* Patterns = nullptr;
    TInstrument* Instrument = nullptr;
};

// One code text per instrument (the body of its InitSample function), or null.
struct TInstrumentCode {
    int32_t Count = 0;
    char** Texts = nullptr;
};

// The one song of the program and its code list.
extern TTrack Song;
extern TInstrumentCode InstrumentCode;

// Resize operations: a new block, the kept elements copied, new elements zero, the old block
// freed. A count below 1 leaves an empty array. Dropped instruments' samples are released
// through ReleaseSample, dropped patterns' events and dropped tracks' pattern lists are freed.
void ResizeInstruments(TTrack& song, int32_t n);
void ResizePatterns(TTrack& song, int32_t n);
void ResizeTracks(TTrack& song, int32_t n);
// New play-list entries at index i are i mod TrackCount (a TrackCount below 1 counts as 1).
void ResizeTracksIndex(TTrack& song, int32_t n);
// Pattern and track indices outside their arrays are ignored.
void ResizePoints(TTrack& song, int32_t pattern, int32_t n);
void ResizePatternIndex(TTrack& song, int32_t track, int32_t n);

// Index of the last matching event, or -1.
int32_t FindPoint(const TPattern& pattern, int32_t time, int32_t tone, int32_t instrument);
// Grows the events by one and returns the new (zero) element's index.
int32_t AppendPoint(TPattern& pattern);
// Removes one event keeping the order of the others; an index outside the array does nothing.
void DeletePoint(TPattern& pattern, int32_t index);
int32_t FindPatternIndex(const TTrackPattern& track, int32_t pattern);
int32_t AppendPatternIndex(TTrackPattern& track);
void DeletePatternIndex(TTrackPattern& track, int32_t index);

// Carries over the first min(n, old count) texts, frees the dropped ones, new entries null.
void ResizeInstrumentCode(TInstrumentCode& code, int32_t n);
// The code of instrument index, null when it has none or the index is outside the list.
const char* InstrumentCodeAt(const TInstrumentCode& code, int32_t index);

// A new song's step length (in units of 32 frames) and steps per play-list entry.
constexpr int32_t kDefaultSpeed = 128;
constexpr int32_t kDefaultRow = 16;

// The default song: ten empty instruments (null codes), patterns and tracks, the play list
// 0..9, Row 16, Speed 128.
void NewSong(TTrack& song, TInstrumentCode& code);

// Empties every table (releasing samples), as the Open command does before reading a file.
// Speed and Row keep their values.
void EmptySong(TTrack& song, TInstrumentCode& code);

} // namespace kellix
