#pragma once

#include "audio/mixer.h"
#include "song/track.h"

#include <cstdint>

namespace kellix {

// The sequencer turns the song into voices of a mixer at the moment a command is given; it
// keeps no state. Offsets are frames after the mixer's current clock. Invalid indices schedule
// nothing.
void PlayPattern(SoundBuffer* mixer, const TTrack& song, int32_t pattern, int64_t base);
void PlayTrack(SoundBuffer* mixer, const TTrack& song, int32_t track, int64_t base);
void PlaySong(SoundBuffer* mixer, const TTrack& song, int64_t base);
void PlayFrom(SoundBuffer* mixer, const TTrack& song, int32_t first, int64_t base);
// One voice of the instrument at the mixer's clock; nothing when the instrument has no sample.
void PreviewNote(SoundBuffer* mixer, const TTrack& song, int32_t instrument, int32_t tone,
                 int32_t vol, int32_t pan);

// Frames of one time step and of one play-list entry (64-bit: large values do not wrap).
inline int64_t StepFrames(const TTrack& song) { return int64_t{song.Speed} * 32; }
inline int64_t EntryFrames(const TTrack& song) { return StepFrames(song) * song.Row; }
// The whole song: TrackIndexCount entries.
inline int64_t SongFrames(const TTrack& song) { return EntryFrames(song) * song.TrackIndexCount; }

} // namespace kellix
