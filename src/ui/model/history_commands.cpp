// The Edit menu's Undo and Redo on the song.
#include "ui/model/editor_model.h"

#include <vector>

namespace kellix {

namespace {

int32_t Entry(const TTrack& song, int32_t row) {
    return row >= 0 && row < song.TrackIndexCount() ? song.TracksIndex[row] : -1;
}

} // namespace

void EditorModel::Undo() {
    if (!history_.CanUndo()) {
        return;
    }
    const HistoryStep step = history_.Undo(doc_.Song);
    Restore(step, step.Box ? &step.Box->Before : nullptr);
}

void EditorModel::Redo() {
    if (!history_.CanRedo()) {
        return;
    }
    const HistoryStep step = history_.Redo(doc_.Song);
    Restore(step, step.Box ? &step.Box->After : nullptr);
}

void EditorModel::Restore(const HistoryStep& step, const std::string* boxText) {
    const TTrack before = doc_.Song;
    const int32_t entry = Entry(before, sel_.PlayListRow);
    doc_.Song = step.Song;
    // The history keeps no samples: they are made again from the code where it differs and for
    // instruments that come back (code runs are repeatable), from the last to the first.
    FitSamples(doc_);
    for (int32_t i = 0; i < doc_.Song.InstrumentCount(); ++i) {
        if (i >= before.InstrumentCount() ||
            InstrumentCodeAt(before, i) != doc_.Song.Instrument[i].Code) {
            doc_.Samples.Set(i, nullptr);
        }
    }
    MakeMissingSamples(scripts_, doc_.Song, doc_.Samples);
    const bool shownCodeChanged =
        InstrumentCodeAt(before, sel_.Instrument) != InstrumentCodeAt(doc_.Song, sel_.Instrument);

    // Everything the song shows, but not the code box (showing it again clears its own typing
    // history), not the marks of the last run, not what concerns playing or the recent songs,
    // and the view stays where it is.
    uint32_t parts = ~uint32_t{kViewCode | kViewStatus | kViewRun | kViewPlaying | kViewRecent |
                               kViewNewPattern};
    if (shownCodeChanged && sel_.Instrument >= 0 && sel_.Instrument < doc_.Song.InstrumentCount()) {
        const CodeText& stored = InstrumentCodeAt(doc_.Song, sel_.Instrument);
        code_ = stored.Exists() ? stored.Text() : DefaultInstrumentCode;
        cleanCode_ = code_;
        parts |= kViewCode;
    }
    const CodeBoxChange* box = boxText ? step.Box.get() : nullptr;
    if (box && sel_.Instrument == box->BoxInstrument) {
        code_ = *boxText;
        parts |= kViewCode;
    }
    if (box && box->Instrument != sel_.Active() && box->Instrument >= 0 &&
        box->Instrument < doc_.Song.InstrumentCount()) {
        MakeSample(box->Instrument, *boxText);
    }

    // The selection is repaired as after any change of the song; a play-list entry that changed
    // back gives the Track box the entry's track again, as a click does.
    const uint32_t refill = RepairSelection();
    if (!(refill & Selection::kRefillTracks) && sel_.PlayListRow >= 0 &&
        Entry(doc_.Song, sel_.PlayListRow) != entry) {
        const int32_t item = Entry(doc_.Song, sel_.PlayListRow);
        sel_.TrackItem = sel_.Track = item >= 0 && item < doc_.Song.TrackCount() ? item : -1;
    }

    if (sel_.Active() >= 0) {
        view_.DrawSample(ActiveSample());
    }
    FollowEffects();
    recoveryDirty_ = true;
    view_.Refresh(parts);
    if (box && box->Instrument == sel_.Active()) {
        // As Open Instrument itself did: the status tells how the code ran.
        RunFor(*boxText);
    }
}

} // namespace kellix
