#include "ui/model/play_position.h"

#include "audio/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

PlayRecord Base(const TTrack& song, PlayRecord::Kind what, int64_t start) {
    PlayRecord r;
    r.What = what;
    r.Song = song;
    r.Start = start;
    r.StepFrames = StepFrames(song);
    r.EntryFrames = EntryFrames(song);
    return r;
}

// How long a pattern's notes take to start: a whole entry, or longer for notes at or past Row.
int64_t PatternFrames(const TTrack& song, int32_t pattern) {
    int64_t steps = song.Row;
    if (pattern >= 0 && pattern < song.PatternCount()) {
        for (const TIdPoint& p : song.Patterns[pattern].Points) {
            steps = std::max<int64_t>(steps, int64_t{p.Time} + 1);
        }
    }
    return ClampFrames(__int128{steps} * StepFrames(song));
}

bool Holds(const TTrack& song, int32_t track, int32_t pattern) {
    if (track < 0 || track >= song.TrackCount()) {
        return false;
    }
    const SharedArray<int32_t>& list = song.Tracks[track].PatternIndex;
    return std::find(list.begin(), list.end(), pattern) != list.end();
}

} // namespace

PlayRecord RecordSongPlay(const TTrack& song, int32_t firstEntry, int64_t start) {
    if (firstEntry < 0 || firstEntry >= song.TrackIndexCount()) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, PlayRecord::Kind::Song, start);
    r.FirstEntry = firstEntry;
    return r;
}

PlayRecord RecordTrackPlay(const TTrack& song, int32_t track, int64_t start) {
    if (track < 0 || track >= song.TrackCount()) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, PlayRecord::Kind::Track, start);
    r.Track = track;
    for (int32_t pattern : song.Tracks[track].PatternIndex) {
        r.LengthFrames = std::max(r.LengthFrames, PatternFrames(song, pattern));
    }
    return r;
}

PlayRecord RecordPatternPlay(const TTrack& song, int32_t pattern, int64_t start) {
    if (pattern < 0 || pattern >= song.PatternCount()) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, PlayRecord::Kind::Pattern, start);
    r.Pattern = pattern;
    r.LengthFrames = PatternFrames(song, pattern);
    return r;
}

void RecordRepeats(PlayRecord& record, int64_t passFrames, int64_t endFrame) {
    record.Repeats = passFrames > 0 && endFrame > record.Start + passFrames;
    record.PassFrames = passFrames;
    record.EndFrame = endFrame;
}

PlayPosition PositionAt(const PlayRecord& r, int64_t heardFrame, int32_t shownPattern) {
    PlayPosition p;
    int64_t into = heardFrame - r.Start;
    if (r.What == PlayRecord::Kind::None || r.StepFrames <= 0) {
        return p;
    }
    if (into < 0) {
        p.Waiting = true;
        return p;
    }
    if (r.Repeats) {
        // Each pass shows as the first did, up to the end of the last one.
        if (heardFrame >= r.EndFrame) {
            return p;
        }
        into %= r.PassFrames;
    }
    int64_t sinceStart = into; // frames since the start of what holds the shown pattern
    bool shown = false;
    if (r.What == PlayRecord::Kind::Song) {
        if (r.EntryFrames <= 0) {
            return p;
        }
        const int64_t entry = r.FirstEntry + into / r.EntryFrames;
        if (entry >= r.Song.TrackIndexCount()) {
            return p;
        }
        p.Entry = static_cast<int32_t>(entry);
        sinceStart = into % r.EntryFrames;
        shown = Holds(r.Song, r.Song.TracksIndex[p.Entry], shownPattern);
    } else {
        if (into >= r.LengthFrames) {
            return p;
        }
        shown = r.What == PlayRecord::Kind::Pattern ? r.Pattern == shownPattern
                                                    : Holds(r.Song, r.Track, shownPattern);
    }
    p.Playing = true;
    p.HeardStep = static_cast<double>(sinceStart) / static_cast<double>(r.StepFrames);
    if (shown && shownPattern >= 0) {
        p.Step = static_cast<double>(sinceStart) / static_cast<double>(r.StepFrames);
    }
    return p;
}

} // namespace kellix
