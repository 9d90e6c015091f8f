#pragma once

#include "song/track.h"

#include <cstdint>

namespace kellix {

// What the last play command scheduled, kept so that the window can show where the sound being
// heard is: the play-list row and the time step in the shown pattern. The sequencer keeps no
// state; this keeps the song as the command read it (a copy that shares its arrays), so later
// edits do not move the position.
struct PlayRecord {
    enum class Kind { None, Song, Track, Pattern };
    Kind What = Kind::None;
    TTrack Song;
    int64_t Start = 0;        // the live mixer's clock when the command was given
    int64_t StepFrames = 0;   // frames of one time step
    int64_t EntryFrames = 0;  // frames of one play-list entry
    int32_t FirstEntry = 0;   // Kind::Song: the play-list entry played at Start
    int32_t Track = -1;       // Kind::Track
    int32_t Pattern = -1;     // Kind::Pattern
    int64_t LengthFrames = 0; // Kind::Track and Kind::Pattern: how long the line is shown
    // A repeated play (Loop): one pass lasts PassFrames, and the last pass ends at the live
    // clock's EndFrame (kFarFrames while it goes on repeating).
    bool Repeats = false;
    int64_t PassFrames = 0;
    int64_t EndFrame = 0;
};

// Where the sound is at a heard frame of the live mixer's clock.
struct PlayPosition {
    bool Playing = false;
    bool Waiting = false; // scheduled but not heard yet: the mixer works ahead of the speaker
    int32_t Entry = -1;   // the play-list row being played, -1 when not a song
    double Step = -1.0;   // time steps into the shown pattern, negative when it is not playing
    // Time steps into what is heard: the play-list entry, the track or the pattern; negative
    // when nothing plays.
    double HeardStep = -1.0;
};

// A record of the command about to schedule the song from the given entry (0 for Play), a
// track or a pattern, on a mixer whose clock is start.
PlayRecord RecordSongPlay(const TTrack& song, int32_t firstEntry, int64_t start);
PlayRecord RecordTrackPlay(const TTrack& song, int32_t track, int64_t start);
PlayRecord RecordPatternPlay(const TTrack& song, int32_t pattern, int64_t start);

// The record of a play repeated pass after pass until endFrame (kFarFrames: until "Stop").
void RecordRepeats(PlayRecord& record, int64_t passFrames, int64_t endFrame);

// The position at the heard frame, with shownPattern the pattern the editor shows (-1 none).
PlayPosition PositionAt(const PlayRecord& record, int64_t heardFrame, int32_t shownPattern);

} // namespace kellix
