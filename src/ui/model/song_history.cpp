#include "ui/model/song_history.h"

#include <algorithm>

namespace kellix {

namespace {

// What one shared array costs besides its elements: its control block and vector, the
// allocator's headers of both blocks and its entry in the history's use table.
constexpr std::size_t kArrayOverhead = 128;

} // namespace

SongHistory::SongHistory(std::size_t maxSteps, std::size_t maxBytes)
    : maxSteps_(std::max<std::size_t>(maxSteps, 1)), maxBytes_(maxBytes) {}

void SongHistory::Record(ChangeKind kind, int64_t target, const TTrack& song,
                         std::shared_ptr<const CodeBoxChange> box) {
    const bool mergeable = kind == ChangeKind::RemoveNotes || kind == ChangeKind::PlayListEntry ||
                           kind == ChangeKind::Envelope || kind == ChangeKind::RecordTake;
    if (open_ && mergeable && kind == openKind_ && target == openTarget_) {
        return;
    }
    open_ = true;
    openKind_ = kind;
    openTarget_ = target;
    while (!redo_.empty()) {
        Pop(redo_);
    }
    Push(undo_, HistoryStep{song, std::move(box)});
    DropOldest();
}

HistoryStep SongHistory::Undo(const TTrack& song) {
    HistoryStep back = Pop(undo_);
    Push(redo_, HistoryStep{song, back.Box});
    open_ = false;
    return back;
}

HistoryStep SongHistory::Redo(const TTrack& song) {
    HistoryStep forward = Pop(redo_);
    Push(undo_, HistoryStep{song, forward.Box});
    open_ = false;
    DropOldest();
    return forward;
}

void SongHistory::Clear() {
    undo_.clear();
    redo_.clear();
    uses_.clear();
    bytes_ = 0;
    open_ = false;
}

void SongHistory::Push(std::deque<HistoryStep>& stack, HistoryStep step) {
    Account(step, +1);
    stack.push_back(std::move(step));
}

HistoryStep SongHistory::Pop(std::deque<HistoryStep>& stack) {
    HistoryStep step = std::move(stack.back());
    stack.pop_back();
    Account(step, -1);
    return step;
}

void SongHistory::DropOldest() {
    while (undo_.size() > maxSteps_ || (bytes_ > maxBytes_ && undo_.size() > 1)) {
        Account(undo_.front(), -1);
        undo_.pop_front();
    }
}

void SongHistory::Account(const HistoryStep& step, int sign) {
    const TTrack& s = step.Song;
    bytes_ = sign > 0 ? bytes_ + sizeof(HistoryStep) : bytes_ - sizeof(HistoryStep);
    auto use = [&](const auto& array) {
        if (array.Identity()) {
            Use(array.Identity(), kArrayOverhead + array.Bytes(), sign);
        }
    };
    use(s.TracksIndex);
    use(s.Tracks);
    for (const TTrackPattern& t : s.Tracks) {
        use(t.PatternIndex);
    }
    use(s.Patterns);
    for (const TPattern& p : s.Patterns) {
        use(p.Points);
    }
    use(s.Instrument);
    for (const TInstrument& i : s.Instrument) {
        use(i.Code);
    }
    if (step.Box) {
        Use(step.Box.get(),
            kArrayOverhead + sizeof(CodeBoxChange) + step.Box->Before.capacity() +
                step.Box->After.capacity(),
            sign);
    }
}

// Each array is counted once, while at least one step holds it: as long as it is counted it
// is alive, so its address names it.
void SongHistory::Use(const void* array, std::size_t bytes, int sign) {
    if (sign > 0) {
        ArrayUse& use = uses_[array];
        if (use.Steps++ == 0) {
            use.Bytes = bytes;
            bytes_ += bytes;
        }
        return;
    }
    auto it = uses_.find(array);
    if (it != uses_.end() && --it->second.Steps == 0) {
        bytes_ -= it->second.Bytes;
        uses_.erase(it);
    }
}

} // namespace kellix
