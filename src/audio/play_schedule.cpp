#include "audio/play_schedule.h"

#include "audio/mixer.h"
#include "audio/sequencer.h"

#include <algorithm>

namespace kellix {

namespace {

// Where a note starts after its pattern's start: its Time in steps of stepFrames frames.
int64_t NoteOffset(const TIdPoint& p, int64_t stepFrames) {
    return ClampFrames(__int128{p.Time} * stepFrames);
}

// The places of the pattern's notes in the order of their offsets (ties in array order), or
// nothing when the array is in that order already. Three counting passes of 11 bits over the
// Time, so that a pattern of a million notes is put in order in a few milliseconds.
std::vector<int32_t> TimeOrder(const SharedArray<TIdPoint>& points, bool backwards) {
    const std::size_t n = static_cast<std::size_t>(points.size());
    const TIdPoint* p = points.data();
    // The Time as an unsigned key that sorts as the offsets do, above the note's place.
    std::vector<uint64_t> keyed(n);
    bool ordered = true;
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t key = static_cast<uint32_t>(p[i].Time) ^ 0x80000000u;
        key = backwards ? ~key : key;
        keyed[i] = uint64_t{key} << 32 | i;
        ordered = ordered && (i == 0 || keyed[i - 1] <= keyed[i]);
    }
    if (ordered) {
        return {};
    }
    std::vector<uint64_t> moved(n);
    for (int shift : {32, 43, 54}) {
        std::vector<std::size_t> count(2049, 0);
        for (uint64_t k : keyed) {
            ++count[((k >> shift) & 0x7FF) + 1];
        }
        for (std::size_t d = 1; d < count.size(); ++d) {
            count[d] += count[d - 1];
        }
        for (uint64_t k : keyed) {
            moved[count[(k >> shift) & 0x7FF]++] = k;
        }
        keyed.swap(moved);
    }
    std::vector<int32_t> order(n);
    for (std::size_t i = 0; i < n; ++i) {
        order[i] = static_cast<int32_t>(keyed[i] & 0xFFFFFFFFu);
    }
    return order;
}

bool Names(const TTrack& song, const PlayRequest& r) {
    switch (r.Kind) {
    case PlayRequest::What::Song:
        return r.Index >= 0 && r.Index < song.TrackIndexCount();
    case PlayRequest::What::Track:
        return r.Index >= 0 && r.Index < song.TrackCount();
    case PlayRequest::What::Pattern:
        return r.Index >= 0 && r.Index < song.PatternCount();
    }
    return false;
}

} // namespace

int64_t PassFrames(const TTrack& song, const PlayRequest& request) {
    if (!Names(song, request)) {
        return 0;
    }
    const int64_t entries =
        request.Kind == PlayRequest::What::Song ? song.TrackIndexCount() - request.Index : 1;
    return ClampFrames(__int128{EntryFrames(song)} * entries);
}

PlaySchedule::PlaySchedule(const TTrack& song, const SampleSet& samples, const PlayRequest& request,
                           int32_t rate)
    : song_(song), request_(request), rate_(rate) {
    if (!Names(song, request)) {
        return;
    }
    samples_.resize(static_cast<std::size_t>(std::max(song.InstrumentCount(), 0)));
    for (int32_t i = 0; i < song.InstrumentCount(); ++i) {
        samples_[static_cast<std::size_t>(i)] = samples.At(i);
    }
    entries_ = request.Kind == PlayRequest::What::Song ? song.TrackIndexCount() - request.Index : 1;
    onePattern_[0] = request.Index;
    stepFrames_ = StepFrames(song);
    entryFrames_ = EntryFrames(song);
    passFrames_ = PassFrames(song, request);

    // The patterns the request may play, each put in time order once.
    std::vector<bool> used(static_cast<std::size_t>(song.PatternCount()), false);
    for (int32_t e = 0; e < entries_; ++e) {
        int32_t count = 0;
        const int32_t* patterns = EntryPatterns(e, count);
        for (int32_t j = 0; j < count; ++j) {
            if (patterns[j] >= 0 && patterns[j] < song.PatternCount()) {
                used[static_cast<std::size_t>(patterns[j])] = true;
            }
        }
    }
    timeOrder_.resize(used.size());
    bool any = false;
    for (int32_t p = 0; p < song.PatternCount(); ++p) {
        const SharedArray<TIdPoint>& points = song.Patterns[p].Points;
        if (!used[static_cast<std::size_t>(p)] || points.empty()) {
            continue;
        }
        timeOrder_[static_cast<std::size_t>(p)] = TimeOrder(points, stepFrames_ < 0);
        const int64_t first = NoteOffset(points[NoteAt(p, 0)], stepFrames_);
        earliest_ = any ? std::min(earliest_, first) : first;
        any = true;
    }
}

const int32_t* PlaySchedule::EntryPatterns(int32_t entry, int32_t& count) const {
    count = 0;
    int32_t track = request_.Index;
    switch (request_.Kind) {
    case PlayRequest::What::Pattern:
        count = 1;
        return onePattern_;
    case PlayRequest::What::Song:
        track = song_.TracksIndex[request_.Index + entry];
        break;
    case PlayRequest::What::Track:
        break;
    }
    if (track < 0 || track >= song_.TrackCount()) {
        return nullptr;
    }
    const SharedArray<int32_t>& list = song_.Tracks[track].PatternIndex;
    count = list.size();
    return list.data();
}

int32_t PlaySchedule::NoteAt(int32_t pattern, int32_t at) const {
    const std::vector<int32_t>& order = timeOrder_[static_cast<std::size_t>(pattern)];
    return order.empty() ? at : order[static_cast<std::size_t>(at)];
}

int64_t PlaySchedule::EntryBase(int64_t pass, int32_t entry) const {
    return ClampFrames(__int128{start_} + __int128{pass} * passFrames_ +
                       __int128{entry} * entryFrames_);
}

void PlaySchedule::Begin(int64_t start, uint64_t command) {
    start_ = start;
    command_ = command;
    pass_ = 0;
    nextEntry_ = 0;
    walked_ = 0;
    walkEnded_ = entries_ == 0;
    cursors_ = {};
}

void PlaySchedule::Enter(int64_t base) {
    int32_t count = 0;
    const int32_t* patterns = EntryPatterns(nextEntry_, count);
    for (int32_t j = 0; j < count; ++j) {
        const int32_t p = patterns[j];
        if (p < 0 || p >= song_.PatternCount() || song_.Patterns[p].Points.empty()) {
            continue;
        }
        const TIdPoint& first = song_.Patterns[p].Points[NoteAt(p, 0)];
        cursors_.push(
            {ClampFrames(__int128{base} + NoteOffset(first, stepFrames_)), base, walked_, j, p, 0});
    }
    ++walked_;
    ++nextEntry_;
}

// Walks the entries whose notes may start before frontier. A pass that has been walked to its
// end is followed by the next one only when that one is due and the repeat is on then.
void PlaySchedule::Walk(int64_t frontier, bool repeat) {
    while (!walkEnded_) {
        if (nextEntry_ == entries_) {
            const int64_t next = EntryBase(pass_ + 1, 0);
            if (ClampFrames(__int128{next} + earliest_) >= frontier) {
                return;
            }
            if (!repeat || passFrames_ <= 0) {
                walkEnded_ = true;
                return;
            }
            ++pass_;
            nextEntry_ = 0;
        }
        const int64_t base = EntryBase(pass_, nextEntry_);
        if (ClampFrames(__int128{base} + earliest_) >= frontier) {
            return;
        }
        Enter(base);
    }
}

void PlaySchedule::NotesBefore(int64_t frontier, bool repeat, std::vector<LiveNote>& out) {
    Walk(frontier, repeat);
    while (!cursors_.empty() && cursors_.top().Next < frontier) {
        Cursor c = cursors_.top();
        cursors_.pop();
        const SharedArray<TIdPoint>& points = song_.Patterns[c.Pattern].Points;
        const int32_t index = NoteAt(c.Pattern, c.At);
        const TIdPoint& note = points[index];
        const SampleBlock* sample =
            note.Instrument >= 0 && note.Instrument < song_.InstrumentCount()
                ? samples_[static_cast<std::size_t>(note.Instrument)]
                : nullptr;
        if (sample) {
            const NoteVoice v =
                VoiceOfNote(song_.Instrument[note.Instrument], note.Tone, note.Vol, note.Pan);
            const Voice figures =
                MakeVoice(rate_, c.Next, c.Next, v.Step, v.Peak, v.Pan, &v.Env, sample);
            out.push_back(
                {{command_, c.Entry, static_cast<uint32_t>(c.Slot), static_cast<uint32_t>(index)},
                 c.Next,
                 start_,
                 figures.End,
                 sample,
                 v.Step,
                 v.Peak,
                 v.Pan,
                 v.Env});
        }
        if (++c.At < points.size()) {
            c.Next = ClampFrames(__int128{c.Base} +
                                 NoteOffset(points[NoteAt(c.Pattern, c.At)], stepFrames_));
            cursors_.push(c);
        }
    }
}

int64_t PlaySchedule::EndFrame(bool repeat) const {
    if (!walkEnded_ && repeat && passFrames_ > 0) {
        return kFarFrames;
    }
    return EntryBase(pass_ + 1, 0);
}

bool PlaySchedule::Uses(const SampleBlock* block) const {
    return std::find(samples_.begin(), samples_.end(), block) != samples_.end();
}

} // namespace kellix
