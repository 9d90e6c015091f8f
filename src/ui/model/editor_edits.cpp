// The editor model's edits of notes, tracks, the play list and the envelope.
#include "ui/model/editor_model.h"

namespace kellix {

void EditorModel::ShowPattern(int32_t item) {
    sel_.PatternItem = item;
    if (item >= 0 && item < doc_.Song.PatternCount()) {
        const bool other = item != sel_.Pattern;
        if (other) {
            sel_.Notes.clear();
        }
        sel_.Pattern = item;
        view_.Refresh(kViewPattern | (other ? uint32_t{kViewNewPattern} : 0u));
    }
}

void EditorModel::BeginPatternGesture() {
    focus_ = EditFocus::Pattern;
    history_.EndMerge();
}

void EditorModel::PlaceNote(int32_t time, int32_t tone) {
    focus_ = EditFocus::Pattern;
    const TPattern* pattern = ActivePattern();
    if (!pattern) {
        return;
    }
    if (FindPoint(*pattern, time, tone, sel_.Instrument) >= 0) {
        view_.Refresh(kViewPattern);
        return;
    }
    if (ActiveSample()) {
        live_.Preview(doc_.Song, doc_.Samples, sel_.Active(), tone, noteVol_, notePan_);
    }
    if (time >= 0) {
        BeforeChange(ChangeKind::Edit);
        AppendPoint(doc_.Song.Patterns.EditAt(sel_.Pattern),
                    TIdPoint{time, tone, sel_.Instrument, noteVol_, notePan_});
        SongChanged(0);
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::RemoveNote(int32_t time, int32_t tone) {
    focus_ = EditFocus::Pattern;
    const TPattern* pattern = ActivePattern();
    if (!pattern) {
        return;
    }
    const int32_t k = FindPoint(*pattern, time, tone, sel_.Instrument);
    if (time >= 0 && k >= 0) {
        BeforeChange(ChangeKind::RemoveNotes, sel_.Pattern);
        DeletePoint(doc_.Song.Patterns.EditAt(sel_.Pattern), k);
        sel_.NoteRemoved(k);
        SongChanged(0);
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::TogglePatternInTrack(int32_t n) {
    focus_ = EditFocus::Track;
    const TTrackPattern* track = ActiveTrack();
    if (!track || n < 0 || n >= doc_.Song.PatternCount()) {
        return;
    }
    const int32_t k = FindPatternIndex(*track, n);
    BeforeChange(ChangeKind::Edit);
    TTrackPattern& edited = doc_.Song.Tracks.EditAt(sel_.Track);
    if (k < 0) {
        AppendPatternIndex(edited, n);
    } else {
        DeletePatternIndex(edited, k);
    }
    SongChanged(kViewTrack);
}

void EditorModel::SetPlayListTrack(int32_t item) {
    sel_.TrackItem = item;
    const int32_t row = sel_.PlayListRow;
    if (row >= 0 && row < doc_.Song.TrackIndexCount()) {
        if (doc_.Song.TracksIndex[row] != item) {
            BeforeChange(ChangeKind::PlayListEntry, row);
            doc_.Song.TracksIndex.EditAt(row) = item;
            SongChanged(kViewPlayList);
        }
        sel_.Track = item >= 0 && doc_.Song.TrackCount() > 0 ? item : -1;
    }
    view_.Refresh(kViewTrack);
}

void EditorModel::SelectPlayListRow(int32_t row) {
    const TTrack& song = doc_.Song;
    sel_.PlayListRow = row >= 0 && row < song.TrackIndexCount() ? row : -1;
    // An entry that names no item of the combo box (a track number at or above the count, or
    // -1 from a typed text) leaves it without a selection and no track shown.
    int32_t item = sel_.PlayListRow >= 0 ? song.TracksIndex[sel_.PlayListRow] : -1;
    if (item < 0 || item >= song.TrackCount()) {
        item = -1;
    }
    sel_.TrackItem = item;
    sel_.Track = item;
    PutBackCounts();
    view_.Refresh(kViewTracks | kViewTrack);
}

void EditorModel::SetEnvelope(int field, int32_t value) {
    const TEnvelope* env = EditedEnv();
    if (!env || field < 0 || field > 2 || value < 0) {
        return;
    }
    const int32_t now = field == 0 ? env->Attack : field == 1 ? env->Cont : env->Ende;
    if (now != value) {
        BeforeChange(ChangeKind::Envelope, int64_t{sel_.Instrument} * 3 + field);
        TEnvelope& edited = doc_.Song.Instrument.EditAt(sel_.Instrument).Env;
        (field == 0 ? edited.Attack : field == 1 ? edited.Cont : edited.Ende) = value;
        SongChanged(0);
    }
}

void EditorModel::ClearPattern() {
    // The pattern picked in the Pattern box, which may differ from the one shown.
    const int32_t item = sel_.PatternItem;
    if (item < 0 || item >= doc_.Song.PatternCount() ||
        doc_.Song.Patterns[item].PointsCount() == 0) {
        return;
    }
    BeforeChange(ChangeKind::Edit);
    ResizePoints(doc_.Song, item, 0);
    SongChanged(kViewPattern);
}

void EditorModel::ClearTrack() {
    const TTrackPattern* track = ActiveTrack();
    if (!track || track->PatternCount() == 0) {
        return;
    }
    BeforeChange(ChangeKind::Edit);
    ResizePatternIndex(doc_.Song, sel_.Track, 0);
    SongChanged(kViewTrack);
}

} // namespace kellix
