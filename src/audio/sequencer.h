#pragma once

#include "audio/mixer.h"
#include "song/sample.h"
#include "song/track.h"

#include <cstdint>

namespace kellix {

// The sequencer turns the song into voices at the moment a command is given; it keeps no
// state. Each note becomes a voice with its instrument's sample (from samples), starting Time x
// Speed x 32 frames after its pattern's offset. Offsets are frames after the mixer's clock.
// Invalid indices schedule nothing; notes of instruments without a sample are skipped. (Live
// playback walks the same order in time: PlaySchedule.)
void PlayPattern(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t pattern,
                 int64_t base);
void PlayTrack(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t track,
               int64_t base);
void PlaySong(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int64_t base);
void PlayFrom(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t first,
              int64_t base);

// What a note of the instrument becomes: the rate from the pitch rule with the instrument's
// tuning, peak Vol x 127, the note's pan and the instrument's envelope.
struct NoteVoice {
    int32_t Step;
    int32_t Peak;
    int32_t Pan;
    TEnvelope Env;
};
NoteVoice VoiceOfNote(const TInstrument& inst, int32_t tone, int32_t vol, int32_t pan);

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
    return ClampFrames(__int128{EntryFrames(song)} * song.TrackIndexCount());
}

} // namespace kellix
