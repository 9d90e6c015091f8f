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

// Frame arithmetic saturates far outside any real song (2^60 frames) instead of wrapping.
constexpr int64_t kFarFrames = int64_t{1} << 60;
inline int64_t ClampFrames(__int128 frames) {
    return static_cast<int64_t>(frames < -kFarFrames  ? -kFarFrames
                                : frames > kFarFrames ? kFarFrames
                                                      : frames);
}

// Frames of one time step, of one play-list entry and of the whole song.
inline int64_t StepFrames(const TTrack& song) {
    return int64_t{song.Speed} * 32;
}
inline int64_t EntryFrames(const TTrack& song) {
    return ClampFrames(__int128{StepFrames(song)} * song.Row);
}
inline int64_t SongFrames(const TTrack& song) {
    return ClampFrames(__int128{EntryFrames(song)} * song.TrackIndexCount);
}

} // namespace kellix
