#include "audio/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

// Where the voices go: straight into a mixer (starts counted from its clock now) or into a
// batch (counted from the clock at the hand-over).
struct Sink {
    SoundBuffer* Mixer = nullptr;
    VoiceBatch* Batch = nullptr;

    bool Ready() const { return Mixer || Batch; }
    void Add(int64_t start, int32_t step, int32_t peak, int32_t pan, const TEnvelope* env,
             const SampleBlock* sample) const {
        if (Mixer) {
            AddVoice(Mixer, ClampFrames(__int128{start} + Mixer->Total), step, peak, pan, env,
                     sample);
        } else {
            Batch->Add(start, step, peak, pan, env, sample);
        }
    }
};

void AddNote(const Sink& sink, const TInstrument& inst, const SampleBlock* sample, int64_t start,
             int32_t tone, int32_t vol, int32_t pan) {
    const NoteVoice v = VoiceOfNote(inst, tone, vol, pan);
    sink.Add(start, v.Step, v.Peak, v.Pan, &v.Env, sample);
}

void Pattern(const Sink& sink, const TTrack& song, const SampleSet& samples, int32_t pattern,
             int64_t base) {
    if (!sink.Ready() || pattern < 0 || pattern >= song.PatternCount()) {
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
        AddNote(sink, song.Instrument[e.Instrument], sample,
                ClampFrames(__int128{e.Time} * stepFrames + base), e.Tone, e.Vol, e.Pan);
    }
}

void Track(const Sink& sink, const TTrack& song, const SampleSet& samples, int32_t track,
           int64_t base) {
    if (track < 0 || track >= song.TrackCount()) {
        return;
    }
    for (int32_t pattern : song.Tracks[track].PatternIndex) {
        Pattern(sink, song, samples, pattern, base);
    }
}

void From(const Sink& sink, const TTrack& song, const SampleSet& samples, int32_t first,
          int64_t base) {
    if (first < 0 || first > song.TrackIndexCount() - 1) {
        return;
    }
    int64_t offset = base;
    const int64_t entry = EntryFrames(song);
    for (int32_t i = first; i < song.TrackIndexCount(); ++i) {
        Track(sink, song, samples, song.TracksIndex[i], offset);
        offset = ClampFrames(__int128{offset} + entry);
    }
}

void Preview(const Sink& sink, const TTrack& song, const SampleSet& samples, int32_t instrument,
             int32_t tone, int32_t vol, int32_t pan) {
    if (!sink.Ready() || instrument < 0 || instrument >= song.InstrumentCount()) {
        return;
    }
    if (const SampleBlock* sample = samples.At(instrument)) {
        AddNote(sink, song.Instrument[instrument], sample, 0, tone, vol, pan);
    }
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
    Pattern({mixer, nullptr}, song, samples, pattern, base);
}

void PlayTrack(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t track,
               int64_t base) {
    Track({mixer, nullptr}, song, samples, track, base);
}

void PlayFrom(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int32_t first,
              int64_t base) {
    From({mixer, nullptr}, song, samples, first, base);
}

void PlaySong(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples, int64_t base) {
    From({mixer, nullptr}, song, samples, 0, base);
}

void PreviewNote(SoundBuffer* mixer, const TTrack& song, const SampleSet& samples,
                 int32_t instrument, int32_t tone, int32_t vol, int32_t pan) {
    Preview({mixer, nullptr}, song, samples, instrument, tone, vol, pan);
}

void PlayPattern(VoiceBatch& batch, const TTrack& song, const SampleSet& samples, int32_t pattern,
                 int64_t base) {
    Pattern({nullptr, &batch}, song, samples, pattern, base);
}

void PlayTrack(VoiceBatch& batch, const TTrack& song, const SampleSet& samples, int32_t track,
               int64_t base) {
    Track({nullptr, &batch}, song, samples, track, base);
}

void PlayFrom(VoiceBatch& batch, const TTrack& song, const SampleSet& samples, int32_t first,
              int64_t base) {
    From({nullptr, &batch}, song, samples, first, base);
}

void PreviewNote(VoiceBatch& batch, const TTrack& song, const SampleSet& samples,
                 int32_t instrument, int32_t tone, int32_t vol, int32_t pan) {
    Preview({nullptr, &batch}, song, samples, instrument, tone, vol, pan);
}

} // namespace kellix
