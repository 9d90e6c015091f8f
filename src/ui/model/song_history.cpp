#include "ui/model/song_history.h"

#include "support/blocks.h"
#include "support/text.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace kellix {

namespace {

// What one shared array costs besides its elements: its control block and vector, the
// allocator's headers of both blocks and its entry in the history's use table.
constexpr std::size_t kArrayOverhead = 128;

template <class T> using Array = SongState::Array<T>;

template <class T> Array<T> Share(const T* data, int32_t count, const Array<T>& like) {
    static_assert(std::has_unique_object_representations_v<T>, "compared as bytes");
    if (count <= 0 || !data) {
        return nullptr;
    }
    const auto n = static_cast<std::size_t>(count);
    if (like && like->size() == n && std::memcmp(like->data(), data, n * sizeof(T)) == 0) {
        return like;
    }
    return std::make_shared<const std::vector<T>>(data, data + n);
}

template <class T> const T& Element(const std::vector<T>& v, std::size_t i) {
    static const T none{};
    return i < v.size() ? v[i] : none;
}

template <class T> int32_t Count(const Array<T>& a) {
    return a ? static_cast<int32_t>(a->size()) : 0;
}

template <class T> void CopyInto(T* to, const Array<T>& a) {
    if (a && !a->empty()) {
        std::memcpy(static_cast<void*>(to), a->data(), a->size() * sizeof(T));
    }
}

template <class T> std::size_t BytesOf(const Array<T>& a) {
    return kArrayOverhead + a->capacity() * sizeof(T);
}

std::size_t BytesOf(const std::shared_ptr<const std::string>& text) {
    return kArrayOverhead + text->capacity();
}

} // namespace

SongState CaptureSong(const TTrack& song, const TInstrumentCode& code, const SongState& like) {
    SongState s;
    s.Speed = song.Speed;
    s.Row = song.Row;
    s.PlayList = Share(song.TracksIndex, song.TrackIndexCount, like.PlayList);
    s.Tracks.resize(static_cast<std::size_t>(std::max(song.TrackCount, 0)));
    for (std::size_t i = 0; i < s.Tracks.size(); ++i) {
        const TTrackPattern& t = song.Tracks[i];
        s.Tracks[i] = Share(t.PatternIndex, t.PatternCount, Element(like.Tracks, i));
    }
    s.Patterns.resize(static_cast<std::size_t>(std::max(song.PatternCount, 0)));
    for (std::size_t i = 0; i < s.Patterns.size(); ++i) {
        const TPattern& p = song.Patterns[i];
        s.Patterns[i] = Share(p.Points, p.PointsCount, Element(like.Patterns, i));
    }
    std::vector<InstrumentSettings> settings(
        static_cast<std::size_t>(std::max(song.InstrumentCount, 0)));
    for (std::size_t i = 0; i < settings.size(); ++i) {
        settings[i] = {song.Instrument[i].SampleTone, song.Instrument[i].Env};
    }
    s.Instruments = Share(settings.data(), song.InstrumentCount, like.Instruments);
    s.Codes.resize(static_cast<std::size_t>(std::max(code.Count, 0)));
    for (std::size_t i = 0; i < s.Codes.size(); ++i) {
        const char* text = code.Texts[i];
        const std::shared_ptr<const std::string>& old = Element(like.Codes, i);
        if (text && old && *old == text) {
            s.Codes[i] = old;
        } else if (text) {
            s.Codes[i] = std::make_shared<const std::string>(text);
        }
    }
    return s;
}

void RestoreSong(const SongState& state, TTrack& song, TInstrumentCode& code) {
    song.Speed = state.Speed;
    song.Row = state.Row;
    if (Count(state.PlayList) != song.TrackIndexCount) {
        ResizeTracksIndex(song, Count(state.PlayList));
    }
    CopyInto(song.TracksIndex, state.PlayList);

    const auto tracks = static_cast<int32_t>(state.Tracks.size());
    if (tracks != song.TrackCount) {
        ResizeTracks(song, tracks);
    }
    for (int32_t i = 0; i < tracks; ++i) {
        const Array<int32_t>& from = state.Tracks[static_cast<std::size_t>(i)];
        if (Count(from) != song.Tracks[i].PatternCount) {
            ResizePatternIndex(song, i, Count(from));
        }
        CopyInto(song.Tracks[i].PatternIndex, from);
    }

    const auto patterns = static_cast<int32_t>(state.Patterns.size());
    if (patterns != song.PatternCount) {
        ResizePatterns(song, patterns);
    }
    for (int32_t i = 0; i < patterns; ++i) {
        const Array<TIdPoint>& from = state.Patterns[static_cast<std::size_t>(i)];
        if (Count(from) != song.Patterns[i].PointsCount) {
            ResizePoints(song, i, Count(from));
        }
        CopyInto(song.Patterns[i].Points, from);
    }

    if (Count(state.Instruments) != song.InstrumentCount) {
        ResizeInstruments(song, Count(state.Instruments));
    }
    for (int32_t i = 0; i < song.InstrumentCount; ++i) {
        const InstrumentSettings& s = (*state.Instruments)[static_cast<std::size_t>(i)];
        song.Instrument[i].SampleTone = s.SampleTone;
        song.Instrument[i].Env = s.Env;
    }

    const auto codes = static_cast<int32_t>(state.Codes.size());
    if (codes != code.Count) {
        ResizeInstrumentCode(code, codes);
    }
    for (int32_t i = 0; i < codes; ++i) {
        const std::shared_ptr<const std::string>& text = state.Codes[static_cast<std::size_t>(i)];
        char*& now = code.Texts[i];
        if (!text) {
            FreeBlock(now);
        } else if (!now || *text != now) {
            FreeBlock(now);
            now = TextDuplicate(text->c_str(), text->size());
        }
    }
}

SongHistory::SongHistory(std::size_t maxSteps, std::size_t maxBytes)
    : maxSteps_(std::max<std::size_t>(maxSteps, 1)), maxBytes_(maxBytes) {}

void SongHistory::Record(ChangeKind kind, int64_t target, const TTrack& song,
                         const TInstrumentCode& code, std::shared_ptr<const CodeBoxChange> box) {
    const bool mergeable = kind == ChangeKind::RemoveNotes || kind == ChangeKind::PlayListEntry ||
                           kind == ChangeKind::Envelope;
    if (open_ && mergeable && kind == openKind_ && target == openTarget_) {
        return;
    }
    open_ = true;
    openKind_ = kind;
    openTarget_ = target;
    HistoryStep step = Capture(song, code, last_);
    step.Box = std::move(box);
    position_ = nextPosition_++;
    while (!redo_.empty()) {
        Pop(redo_);
    }
    Push(undo_, std::move(step));
    DropOldest();
}

HistoryStep SongHistory::Undo(const TTrack& song, const TInstrumentCode& code) {
    HistoryStep back = Pop(undo_);
    HistoryStep here = Capture(song, code, back.Song);
    here.Box = back.Box;
    Push(redo_, std::move(here));
    position_ = back.Position;
    last_ = back.Song;
    open_ = false;
    return back;
}

HistoryStep SongHistory::Redo(const TTrack& song, const TInstrumentCode& code) {
    HistoryStep forward = Pop(redo_);
    HistoryStep here = Capture(song, code, forward.Song);
    here.Box = forward.Box;
    Push(undo_, std::move(here));
    position_ = forward.Position;
    last_ = forward.Song;
    open_ = false;
    DropOldest();
    return forward;
}

void SongHistory::Clear() {
    undo_.clear();
    redo_.clear();
    uses_.clear();
    bytes_ = 0;
    last_ = {};
    open_ = false;
    position_ = nextPosition_++;
    saved_ = position_;
}

void SongHistory::MarkSaved() {
    saved_ = position_;
    open_ = false;
}

HistoryStep SongHistory::Capture(const TTrack& song, const TInstrumentCode& code,
                                 const SongState& like) {
    HistoryStep step;
    step.Song = CaptureSong(song, code, like);
    step.Position = position_;
    last_ = step.Song;
    return step;
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
    const SongState& s = step.Song;
    const std::size_t own =
        sizeof(HistoryStep) + (s.Tracks.capacity() + s.Patterns.capacity() + s.Codes.capacity()) *
                                  sizeof(std::shared_ptr<void>);
    bytes_ = sign > 0 ? bytes_ + own : bytes_ - own;
    if (s.PlayList) {
        Use(s.PlayList.get(), BytesOf(s.PlayList), sign);
    }
    for (const Array<int32_t>& t : s.Tracks) {
        if (t) {
            Use(t.get(), BytesOf(t), sign);
        }
    }
    for (const Array<TIdPoint>& p : s.Patterns) {
        if (p) {
            Use(p.get(), BytesOf(p), sign);
        }
    }
    if (s.Instruments) {
        Use(s.Instruments.get(), BytesOf(s.Instruments), sign);
    }
    for (const std::shared_ptr<const std::string>& c : s.Codes) {
        if (c) {
            Use(c.get(), BytesOf(c), sign);
        }
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
