#include "song/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

void AddNote(SoundBuffer* mixer, const TInstrument& inst, int64_t start, int32_t tone, int32_t vol,
             int32_t pan) {
    // The pitch is formed exactly, then handed over in single precision.
    float pitch = static_cast<float>(static_cast<double>(tone) + inst.SampleTone * 0.0625);
    int64_t peak = std::clamp<int64_t>(int64_t{vol} * 127, INT32_MIN, INT32_MAX);
    AddVoice(mixer, start, PitchToStep(pitch), static_cast<int32_t>(peak), pan, &inst.Env,
             inst.Sample);
}

} // namespace

void PlayPattern(SoundBuffer* mixer, const TTrack& song, int32_t pattern, int64_t base) {
    if (!mixer || !song.Patterns || !song.Instrument || pattern < 0 ||
        pattern >= song.PatternCount) {
        return;
    }
    const TPattern& p = song.Patterns[pattern];
    if (!p.Points) {
        return;
    }
    const int64_t stepFrames = StepFrames(song);
    for (int32_t i = 0; i < p.PointsCount; ++i) {
        const TIdPoint& e = p.Points[i];
        if (e.Instrument < 0 || e.Instrument >= song.InstrumentCount) {
            continue;
        }
        const TInstrument& inst = song.Instrument[e.Instrument];
        if (!inst.Sample) {
            continue;
        }
        int64_t start = ClampFrames(__int128{e.Time} * stepFrames + mixer->Total + base);
        AddNote(mixer, inst, start, e.Tone, e.Vol, e.Pan);
    }
}

void PlayTrack(SoundBuffer* mixer, const TTrack& song, int32_t track, int64_t base) {
    if (track < 0 || track >= song.TrackCount || !song.Tracks) {
        return;
    }
    const TTrackPattern& t = song.Tracks[track];
    for (int32_t j = 0; j < t.PatternCount && t.PatternIndex; ++j) {
        PlayPattern(mixer, song, t.PatternIndex[j], base);
    }
}

void PlayFrom(SoundBuffer* mixer, const TTrack& song, int32_t first, int64_t base) {
    if (first < 0 || first > song.TrackIndexCount - 1 || !song.TracksIndex) {
        return;
    }
    int64_t offset = base;
    const int64_t entry = EntryFrames(song);
    for (int32_t i = first; i < song.TrackIndexCount; ++i) {
        PlayTrack(mixer, song, song.TracksIndex[i], offset);
        offset = ClampFrames(__int128{offset} + entry);
    }
}

void PlaySong(SoundBuffer* mixer, const TTrack& song, int64_t base) {
    PlayFrom(mixer, song, 0, base);
}

void PreviewNote(SoundBuffer* mixer, const TTrack& song, int32_t instrument, int32_t tone,
                 int32_t vol, int32_t pan) {
    if (!mixer || instrument < 0 || instrument >= song.InstrumentCount || !song.Instrument) {
        return;
    }
    const TInstrument& inst = song.Instrument[instrument];
    if (!inst.Sample) {
        return;
    }
    AddNote(mixer, inst, mixer->Total, tone, vol, pan);
}

} // namespace kellix
