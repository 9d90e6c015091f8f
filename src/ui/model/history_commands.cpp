// The Edit menu's Undo and Redo on the song.
#include "ui/model/editor_model.h"

#include "script/exec.h"
#include "songtext/current_instrument.h"

#include <string_view>
#include <vector>

namespace kellix {

namespace {

// An instrument's code as text (none is empty) in the code list and in a state.
const char* StoredText(int32_t index) {
    const char* stored = InstrumentCodeAt(InstrumentCode, index);
    return stored ? stored : "";
}

const char* StateText(const SongState& state, int32_t index) {
    const bool stored = index >= 0 && static_cast<std::size_t>(index) < state.Codes.size() &&
                        state.Codes[static_cast<std::size_t>(index)];
    return stored ? state.Codes[static_cast<std::size_t>(index)]->c_str() : "";
}

int32_t Entry(int32_t row) {
    return row >= 0 && row < Song.TrackIndexCount ? Song.TracksIndex[row] : -1;
}

} // namespace

void EditorModel::Undo() {
    if (!history_.CanUndo()) {
        return;
    }
    const HistoryStep step = history_.Undo(Song, InstrumentCode);
    Restore(step, step.Box ? &step.Box->Before : nullptr);
}

void EditorModel::Redo() {
    if (!history_.CanRedo()) {
        return;
    }
    const HistoryStep step = history_.Redo(Song, InstrumentCode);
    Restore(step, step.Box ? &step.Box->After : nullptr);
}

void EditorModel::Restore(const HistoryStep& step, const std::string* boxText) {
    const SongState& state = step.Song;
    const int32_t instruments = Song.InstrumentCount;
    const int32_t tracks = Song.TrackCount;
    const int32_t entries = Song.TrackIndexCount;
    const int32_t entry = Entry(playListRow_);
    // The history keeps no samples: they are generated again from the code where it differs
    // and for instruments that come back, from the last to the first as InstrumentFill does.
    std::vector<int32_t> generate;
    const int32_t count = state.Instruments ? static_cast<int32_t>(state.Instruments->size()) : 0;
    for (int32_t i = count - 1; i >= 0; --i) {
        if (i >= instruments || std::string_view(StoredText(i)) != StateText(state, i)) {
            generate.push_back(i);
        }
    }
    const bool shownCodeChanged =
        std::string_view(StoredText(CurrentInstrument)) != StateText(state, CurrentInstrument);

    RestoreSong(state, Song, InstrumentCode);
    for (int32_t i : generate) {
        ExeScript(StoredText(i), &Song.Instrument[i]);
    }

    // Everything the song shows, but not the code box (showing it again clears its own typing
    // history) and not what concerns playing or the recent songs.
    uint32_t parts = ~uint32_t{kViewCode | kViewStatus | kViewPlaying | kViewRecent};
    if (shownCodeChanged && CurrentInstrument >= 0 && CurrentInstrument < InstrumentCode.Count) {
        const char* stored = InstrumentCodeAt(InstrumentCode, CurrentInstrument);
        code_ = stored ? stored : DefaultInstrumentCode;
        cleanCode_ = code_;
        parts |= kViewCode;
    }
    const CodeBoxChange* box = boxText ? step.Box.get() : nullptr;
    if (box && CurrentInstrument == box->BoxInstrument) {
        code_ = *boxText;
        parts |= kViewCode;
    }
    if (box && box->Instrument != activeInstrument_ && box->Instrument >= 0 &&
        box->Instrument < Song.InstrumentCount) {
        ExeScript(boxText->c_str(), &Song.Instrument[box->Instrument]);
    }

    // Selections that no longer name anything are filled again as after a change of count.
    if (activeInstrument_ >= Song.InstrumentCount || instrumentRow_ >= Song.InstrumentCount ||
        CurrentInstrument >= InstrumentCode.Count ||
        (instruments == 0 && Song.InstrumentCount > 0)) {
        InstrumentFill();
    }
    if (activePattern_ < 0 || activePattern_ >= Song.PatternCount ||
        patternItem_ >= Song.PatternCount) {
        PatternFill();
    }
    if (playListRow_ >= Song.TrackIndexCount || (entries == 0 && Song.TrackIndexCount > 0)) {
        TracksIndexFill();
    }
    if (activeTrack_ >= Song.TrackCount || trackItem_ >= Song.TrackCount ||
        (tracks == 0 && Song.TrackCount > 0)) {
        TracksFill();
    } else if (playListRow_ >= 0 && Entry(playListRow_) != entry) {
        // The selected play-list entry changed back: the Track box follows it, as on a click.
        const int32_t item = Entry(playListRow_);
        trackItem_ = activeTrack_ = item >= 0 && item < Song.TrackCount ? item : -1;
    }

    if (const TInstrument* active = ActiveInstrument()) {
        view_.DrawSample(active->Sample);
    }
    SongChanged(parts);
    if (box && box->Instrument == activeInstrument_) {
        // As Open Instrument itself did: the status tells how the code ran.
        RunCode(*boxText);
    }
}

} // namespace kellix
