#pragma once

#include "song/track.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>

namespace kellix {

// How changes join into steps: consecutive changes of one mergeable kind to one target are one
// step. Every other change is a step of its own.
enum class ChangeKind : uint8_t {
    Edit,           // never merged: a note placed, a count, a code stored, Cut...
    RemoveNotes,    // one right-button gesture over one pattern
    PlayListEntry,  // typing into the Track box for one play-list row
    Envelope,       // typing into one box of the Env window
    Effects,        // typing into one box, or moving one bar, of the Stereo Delay or Reverb window
    OpenInstrument, // the code box and one sample; the song itself stays as it was
    RecordTake,     // the notes recorded in one take
};

// What Open Instrument changes besides the song: the code box of BoxInstrument (the instrument
// whose code it showed) and the sample of Instrument (-1 for none), generated from the text.
struct CodeBoxChange {
    int32_t BoxInstrument;
    int32_t Instrument;
    std::string Before;
    std::string After;
};

// One step: the song as it was (a copy that shares every array with the songs around it that
// the change did not touch; never the samples).
struct HistoryStep {
    TTrack Song;
    std::shared_ptr<const CodeBoxChange> Box; // Open Instrument only
};

// The undo and redo stacks of the song's states. Bounded by steps and by bytes (the arrays
// the steps hold, each counted once however many steps share it): the oldest steps go first,
// the newest undo step stays whatever its size.
class SongHistory {
  public:
    static constexpr std::size_t kMaxSteps = 1000;
    static constexpr std::size_t kMaxBytes = std::size_t{64} << 20;

    explicit SongHistory(std::size_t maxSteps = kMaxSteps, std::size_t maxBytes = kMaxBytes);

    // Before a change: keeps the song as it is as the step to go back to and forgets the redo
    // steps, unless the change joins the step recorded last (the same mergeable kind and
    // target, and no EndMerge since).
    void Record(ChangeKind kind, int64_t target, const TTrack& song,
                std::shared_ptr<const CodeBoxChange> box = {});
    // The next change starts a step of its own (a new mouse gesture, a save).
    void EndMerge() { open_ = false; }

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // One step back or forward: keeps the song as it is for the other direction and returns the
    // step whose song the caller restores. Only when CanUndo or CanRedo.
    HistoryStep Undo(const TTrack& song);
    HistoryStep Redo(const TTrack& song);

    // Forgets every step (New, Open).
    void Clear();

    // The memory the steps hold.
    std::size_t Bytes() const { return bytes_; }

  private:
    void Account(const HistoryStep& step, int sign);
    void Use(const void* array, std::size_t bytes, int sign);
    void Push(std::deque<HistoryStep>& stack, HistoryStep step);
    HistoryStep Pop(std::deque<HistoryStep>& stack);
    void DropOldest();

    struct ArrayUse {
        int32_t Steps = 0;
        std::size_t Bytes = 0;
    };

    std::size_t maxSteps_;
    std::size_t maxBytes_;
    std::deque<HistoryStep> undo_;
    std::deque<HistoryStep> redo_;
    std::unordered_map<const void*, ArrayUse> uses_;
    std::size_t bytes_ = 0;
    bool open_ = false;
    ChangeKind openKind_ = ChangeKind::Edit;
    int64_t openTarget_ = 0;
};

} // namespace kellix
