#include "ui/model/play_position.h"

#include "song/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

// The commands copy only what the position needs, since they do so while the mixer waits.
PlayRecord Base(const TTrack& song, int64_t start) {
    PlayRecord r;
    r.Start = start;
    r.StepFrames = StepFrames(song);
    r.EntryFrames = EntryFrames(song);
    return r;
}

std::vector<int32_t> PatternsOf(const TTrackPattern& track) {
    return {track.PatternIndex, track.PatternIndex + track.PatternCount};
}

// How long a pattern's notes take to start: a whole entry, or longer for notes at or past Row.
int64_t PatternFrames(const TTrack& song, int32_t pattern) {
    int64_t steps = song.Row;
    if (pattern >= 0 && pattern < song.PatternCount) {
        const TPattern& p = song.Patterns[pattern];
        for (int32_t i = 0; i < p.PointsCount; ++i) {
            steps = std::max<int64_t>(steps, int64_t{p.Points[i].Time} + 1);
        }
    }
    return ClampFrames(__int128{steps} * StepFrames(song));
}

bool Holds(const std::vector<int32_t>& list, int32_t pattern) {
    return std::find(list.begin(), list.end(), pattern) != list.end();
}

} // namespace

PlayRecord RecordSongPlay(const TTrack& song, int32_t firstEntry, int64_t start) {
    if (firstEntry < 0 || firstEntry >= song.TrackIndexCount) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, start);
    r.What = PlayRecord::Kind::Song;
    r.FirstEntry = firstEntry;
    r.PlayList.assign(song.TracksIndex, song.TracksIndex + song.TrackIndexCount);
    r.TrackLists.resize(static_cast<std::size_t>(std::max(song.TrackCount, 0)));
    for (int32_t t = 0; t < song.TrackCount; ++t) {
        r.TrackLists[t] = PatternsOf(song.Tracks[t]);
    }
    return r;
}

PlayRecord RecordTrackPlay(const TTrack& song, int32_t track, int64_t start) {
    if (track < 0 || track >= song.TrackCount) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, start);
    r.What = PlayRecord::Kind::Track;
    r.TrackList = PatternsOf(song.Tracks[track]);
    for (int32_t pattern : r.TrackList) {
        r.LengthFrames = std::max(r.LengthFrames, PatternFrames(song, pattern));
    }
    return r;
}

PlayRecord RecordPatternPlay(const TTrack& song, int32_t pattern, int64_t start) {
    if (pattern < 0 || pattern >= song.PatternCount) {
        return PlayRecord{};
    }
    PlayRecord r = Base(song, start);
    r.What = PlayRecord::Kind::Pattern;
    r.Pattern = pattern;
    r.LengthFrames = PatternFrames(song, pattern);
    return r;
}

PlayPosition PositionAt(const PlayRecord& r, int64_t heardFrame, int32_t shownPattern) {
    PlayPosition p;
    const int64_t into = heardFrame - r.Start;
    if (r.What == PlayRecord::Kind::None || r.StepFrames <= 0) {
        return p;
    }
    if (into < 0) {
        p.Waiting = true;
        return p;
    }
    int64_t sinceStart = into; // frames since the start of what holds the shown pattern
    bool shown = false;
    if (r.What == PlayRecord::Kind::Song) {
        if (r.EntryFrames <= 0) {
            return p;
        }
        const int64_t entry = r.FirstEntry + into / r.EntryFrames;
        if (entry >= static_cast<int64_t>(r.PlayList.size())) {
            return p;
        }
        p.Entry = static_cast<int32_t>(entry);
        sinceStart = into % r.EntryFrames;
        const int32_t track = r.PlayList[p.Entry];
        shown = track >= 0 && track < static_cast<int32_t>(r.TrackLists.size()) &&
                Holds(r.TrackLists[track], shownPattern);
    } else {
        if (into >= r.LengthFrames) {
            return p;
        }
        shown = r.What == PlayRecord::Kind::Pattern ? r.Pattern == shownPattern
                                                    : Holds(r.TrackList, shownPattern);
    }
    p.Playing = true;
    if (shown && shownPattern >= 0) {
        p.Step = static_cast<double>(sinceStart) / static_cast<double>(r.StepFrames);
    }
    return p;
}

} // namespace kellix
