#include "audio/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

// A note's voice, its start counted from the mixer's clock now.
void AddNote(SoundBuffer* mixer, const TInstrument& inst, const SampleBlock* sample, int64_t start,
             int32_t tone, int32_t vol, int32_t pan) {
    const NoteVoice v = VoiceOfNote(inst, tone, vol, pan);
    AddVoice(mixer, ClampFrames(__int128{start} + mixer->Total), v.Step, v.Peak, v.Pan, &v.Env,
             sample);
}

} // namespace

NoteVoice VoiceOfNote(const TInstrument& inst, int32_t tone, int32_t vol, int32_t pan) {
    // The pitch is formed exactly, then handed over in single precision.
    const float pitch = static_cast<float>(static_cast<double>(tone) + inst.SampleTone * 0.0625);
    const int64_t peak = std::clamp<int64_t>(int64_t{vol} * 127, INT32_MIN, INT32_MAX);
    return {PitchToStep(pitch), static_cast<int32_t>(peak), pan, inst.Env};
}

void PlayPattern(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t pattern,
                 int64_t base) {
    if (!mixer || pattern < 0 || pattern >= song.PatternCount()) {
        return;
    }
    const int64_t stepFrames = StepFrames(song);
    for (const TIdPoint& e : song.Patterns[pattern].Points) {
        if (e.Instrument < 0 || e.Instrument >= song.InstrumentCount()) {
            continue;
        }
        const SampleBlock* sample = samples.At(e.Instrument);
        if (!sample) {
            continue;
        }
        AddNote(mixer, song.Instrument[e.Instrument], sample,
                ClampFrames(__int128{e.Time} * stepFrames + base), e.Tone, e.Vol, e.Pan);
    }
}

void PlayTrack(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t track,
               int64_t base) {
    if (track < 0 || track >= song.TrackCount()) {
        return;
    }
    for (int32_t pattern : song.Tracks[track].PatternIndex) {
        PlayPattern(mixer, song, samples, pattern, base);
    }
}

void PlayFrom(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t first,
              int64_t base) {
    if (first < 0 || first > song.TrackIndexCount() - 1) {
        return;
    }
    int64_t offset = base;
    const int64_t entry = EntryFrames(song);
    for (int32_t i = first; i < song.TrackIndexCount(); ++i) {
        PlayTrack(mixer, song, samples, song.TracksIndex[i], offset);
        offset = ClampFrames(__int128{offset} + entry);
    }
}

void PlaySong(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int64_t base) {
    PlayFrom(mixer, song, samples, 0, base);
}

} // namespace kellix
