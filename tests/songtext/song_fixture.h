#pragma once

#include "song/track.h"
#include <string>

namespace kellix {

inline std::string CodeOf(const TTrack& song, int32_t index) {
    const CodeText& code = InstrumentCodeAt(song, index);
    return code.Exists() ? code.Text() : "<null>";
}

// Two instruments, two patterns (only the second with events), two tracks (only the first
// with patterns), a play list of three entries and one code.
inline TTrack BuildSmallSong() {
    TTrack song;
    ResizeInstruments(song, 2);
    song.Instrument.EditAt(0) = {-3, {10, 20, 30}, CodeText(" x := 1; // the end")};
    song.Instrument.EditAt(1).Env = {0, 0, -1};
    ResizePatterns(song, 2);
    AppendPoint(song.Patterns.EditAt(1), {0, -2, 0, -1, 128});
    AppendPoint(song.Patterns.EditAt(1), {15, 24, 1, 256, 0});
    ResizeTracks(song, 2);
    ResizePatternIndex(song, 0, 2);
    song.Tracks.EditAt(0).PatternIndex.EditAt(0) = 1;
    song.TracksIndex = {1, 0, 1};
    song.Speed = 100;
    song.Row = 8;
    return song;
}

// The text of BuildSmallSong, worked out from the format.
inline const char* kSmallSongText =
    " Const\r\n  Instruments: array [0..1] of TInstrument=("
    "\r\n   ( SampleTone: -3; Name: nil; Sample: nil; Env: ( Attack: 10; Cont: 20; Ende: 30 )),"
    "\r\n   ( SampleTone: 0; Name: nil; Sample: nil; Env: ( Attack: 0; Cont: 0; Ende: "
    "4294967295 )));\r\n\r\n  Point1: array [0..1] of TIdPoint=("
    "\r\n   ( Time: 0; Tone: -2; Instrument: 0; Vol: 4294967295; Pan: 128),"
    "\r\n   ( Time: 15; Tone: 24; Instrument: 1; Vol: 256; Pan: 0));\r\n\r\n"
    "  Patterns: array [0..1] of TPattern=(\r\n   ( PointsCount: 0; Points: nil ),"
    "\r\n   ( PointsCount: 2; Points: @Point1 ));\r\n\r\n"
    "  PatternIndex0: array [0..1] of longint=(1,0);\r\n\r\n"
    "  Tracks: array [0..1] of TTrackPattern=(\r\n   ( PatternCount: 2; PatternIndex: "
    "@PatternIndex0 ),\r\n   ( PatternCount: 0; PatternIndex: nil ));\r\n\r\n"
    "  TracksIndex: array [0..2] of Longint=(1,0,1);\r\n\r\n"
    "  Track:TTrack=(\r\n   TrackIndexCount: 3;\r\n   TrackCount: 2;\r\n   PatternCount: 2;\r\n"
    "   InstrumentCount: 2;\r\n   Speed: 100;\r\n   Row: 8;\r\n   TracksIndex: @TracksIndex;\r\n"
    "   Tracks: @Tracks;\r\n   Patterns: @Patterns;\r\n   Instrument: @Instruments;\r\n  );\r\n\r\n"
    "Function InitSample0:pointer;\r\nbegin\r\n x := 1; // the end\r\nend;\r\n\r\n"
    "Function InitSample1:pointer;\r\nbegin\r\n\r\nend;\r\n\r\n";

} // namespace kellix
