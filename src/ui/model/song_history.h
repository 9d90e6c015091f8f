#pragma once

#include "song/track.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace kellix {

// What an instrument holds besides its code and sample.
struct InstrumentSettings {
    int32_t SampleTone;
    TEnvelope Env;
};

// The song's editable data at one moment: everything the song text holds, never the sample
// blocks. Arrays are shared and never changed, so that a state taken right after another
// shares every array the song did not change in between: placing a note copies one pattern,
// not the song. A null array is an empty one; a null code is an instrument without code.
struct SongState {
    template <class T> using Array = std::shared_ptr<const std::vector<T>>;
    int32_t Speed = 0;
    int32_t Row = 0;
    Array<int32_t> PlayList;
    std::vector<Array<int32_t>> Tracks;
    std::vector<Array<TIdPoint>> Patterns;
    Array<InstrumentSettings> Instruments;
    std::vector<std::shared_ptr<const std::string>> Codes;
};

// The state of a song and its code list, sharing each array that equals like's.
SongState CaptureSong(const TTrack& song, const TInstrumentCode& code, const SongState& like);
// Makes the song and its code list hold the state. Arrays are resized with the track
// operations, so dropped instruments' samples are released; other samples are left as they
// are, for the caller to generate again where the code changed.
void RestoreSong(const SongState& state, TTrack& song, TInstrumentCode& code);

// How changes join into steps: consecutive changes of one mergeable kind to one target are one
// step. Every other change is a step of its own.
enum class ChangeKind : uint8_t {
    Edit,           // never merged: a note placed, a count, a code stored, Cut...
    RemoveNotes,    // one right-button gesture over one pattern
    PlayListEntry,  // typing into the Track box for one play-list row
    Envelope,       // typing into one box of the Env window
    OpenInstrument, // the code box and one sample; the song itself stays as it was
};

// What Open Instrument changes besides the song: the code box of BoxInstrument (the instrument
// whose code it showed) and the sample of Instrument (-1 for none), generated from the text.
struct CodeBoxChange {
    int32_t BoxInstrument;
    int32_t Instrument;
    std::string Before;
    std::string After;
};

struct HistoryStep {
    SongState Song;
    uint64_t Position = 0;                    // names the state for the saved mark
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
    void Record(ChangeKind kind, int64_t target, const TTrack& song, const TInstrumentCode& code,
                std::shared_ptr<const CodeBoxChange> box = {});
    // The next change starts a step of its own (a new mouse gesture, a save).
    void EndMerge() { open_ = false; }

    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    // One step back or forward: keeps the song as it is for the other direction and returns the
    // step whose state the caller restores. Only when CanUndo or CanRedo.
    HistoryStep Undo(const TTrack& song, const TInstrumentCode& code);
    HistoryStep Redo(const TTrack& song, const TInstrumentCode& code);

    // Forgets every step (New, Open): the song as it is counts as saved.
    void Clear();
    void MarkSaved();
    // The song as it is was never saved (work recovered from a run that did not end cleanly):
    // no state counts as saved.
    void MarkNeverSaved() { saved_ = UINT64_MAX; }
    // Whether the song's state differs from the one last saved (or cleared).
    bool Changed() const { return position_ != saved_; }

    // The memory the steps hold.
    std::size_t Bytes() const { return bytes_; }

  private:
    HistoryStep Capture(const TTrack& song, const TInstrumentCode& code, const SongState& like);
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
    // The state last captured or restored: the next capture shares its arrays.
    SongState last_;
    std::unordered_map<const void*, ArrayUse> uses_;
    std::size_t bytes_ = 0;
    uint64_t position_ = 0;
    uint64_t saved_ = 0;
    uint64_t nextPosition_ = 1;
    bool open_ = false;
    ChangeKind openKind_ = ChangeKind::Edit;
    int64_t openTarget_ = 0;
};

} // namespace kellix
