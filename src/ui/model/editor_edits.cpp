// The editor model's edits of notes, tracks, the play list and envelopes.
#include "ui/model/editor_model.h"

#include "audio/live_output.h"
#include "song/sequencer.h"
#include "songtext/current_instrument.h"
#include "support/numtext.h"

#include <algorithm>
#include <mutex>

namespace kellix {

void EditorModel::PatternChange(int32_t item) {
    patternItem_ = item;
    if (item >= 0 && item < Song.PatternCount) {
        activePattern_ = item;
        view_.Refresh(kViewPattern);
    }
}

void EditorModel::PatternMouseDown(MouseButton button, int32_t time, int32_t tone) {
    focus_ = EditFocus::Pattern;
    // A press starts a new gesture: what a right-button drag removes is one undo step.
    history_.EndMerge();
    TPattern* pattern = ActivePattern();
    if (!pattern) {
        return;
    }
    const int32_t k = FindPoint(*pattern, time, tone, CurrentInstrument);
    // The edits are read leniently at the moment of the click: "12x" is 12. Values are kept in
    // the ranges the mixer uses, so that the note sounds and saves as it was heard.
    const int32_t vol = std::clamp(TextToInt(volumeText_.c_str()), 0, kMaxNoteVol);
    const int32_t pan = std::clamp(TextToInt(panningText_.c_str()), 0, kMaxNotePan);
    const TInstrument* active = ActiveInstrument();
    if (button == MouseButton::Left && k < 0 && active && active->Sample) {
        std::lock_guard lock(MixLock);
        PreviewNote(LiveMixer(), Song, activeInstrument_, tone, vol, pan);
    }
    if (time >= 0) {
        if (button == MouseButton::Left && k < 0) {
            BeforeChange(ChangeKind::Edit);
            const int32_t i = AppendPoint(*pattern);
            pattern->Points[i] = TIdPoint{time, tone, CurrentInstrument, vol, pan};
            SongChanged(0);
        } else if (button == MouseButton::Right && k >= 0) {
            BeforeChange(ChangeKind::RemoveNotes, activePattern_);
            DeletePoint(*pattern, k);
            SongChanged(0);
        }
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::PatternRightDrag(int32_t time, int32_t tone) {
    TPattern* pattern = ActivePattern();
    if (!pattern) {
        return;
    }
    const int32_t k = FindPoint(*pattern, time, tone, CurrentInstrument);
    if (time >= 0 && k >= 0) {
        BeforeChange(ChangeKind::RemoveNotes, activePattern_);
        DeletePoint(*pattern, k);
        SongChanged(0);
    }
    view_.Refresh(kViewPattern);
}

void EditorModel::TrackEditMouseDown(int32_t n) {
    focus_ = EditFocus::Track;
    TTrackPattern* track = ActiveTrack();
    if (!track || n < 0 || n >= Song.PatternCount) {
        return;
    }
    const int32_t k = FindPatternIndex(*track, n);
    BeforeChange(ChangeKind::Edit);
    if (k < 0) {
        const int32_t i = AppendPatternIndex(*track);
        track->PatternIndex[i] = n;
    } else {
        DeletePatternIndex(*track, k);
    }
    SongChanged(kViewTrack);
}

void EditorModel::TrackChange(int32_t item) {
    trackItem_ = item;
    const int32_t row = playListRow_;
    if (row >= 0 && row < Song.TrackIndexCount) {
        if (Song.TracksIndex[row] != item) {
            BeforeChange(ChangeKind::PlayListEntry, row);
            Song.TracksIndex[row] = item;
            SongChanged(kViewPlayList);
        }
        activeTrack_ = item >= 0 && Song.TrackCount > 0 ? item : -1;
    }
    view_.Refresh(kViewTrack);
}

void EditorModel::PlayListClick(int32_t row) {
    playListRow_ = row >= 0 && row < Song.TrackIndexCount ? row : -1;
    // An entry that names no item of the combo box (a track number at or above the count, or
    // -1 from a typed text) leaves it without a selection and no track shown.
    int32_t item = playListRow_ >= 0 ? Song.TracksIndex[playListRow_] : -1;
    if (item < 0 || item >= Song.TrackCount) {
        item = -1;
    }
    trackItem_ = item;
    activeTrack_ = item;
    FormClick();
    view_.Refresh(kViewTracks | kViewTrack);
}

void EditorModel::StoreEnv(int field, int32_t value) {
    TEnvelope* env = AttachedEnv();
    if (!env || field < 0 || field > 2 || value < 0) {
        return;
    }
    int32_t& slot = field == 0 ? env->Attack : field == 1 ? env->Cont : env->Ende;
    if (slot != value) {
        BeforeChange(ChangeKind::Envelope, int64_t{envInstrument_} * 3 + field);
        slot = value;
        SongChanged(0);
    }
}

void EditorModel::Cut() {
    if (focus_ == EditFocus::Pattern) {
        // The pattern selected in the combo box, which may differ from the one shown.
        if (patternItem_ < 0 || patternItem_ >= Song.PatternCount ||
            Song.Patterns[patternItem_].PointsCount == 0) {
            return;
        }
        BeforeChange(ChangeKind::Edit);
        ResizePoints(Song, patternItem_, 0);
        SongChanged(kViewPattern);
    } else if (focus_ == EditFocus::Track) {
        const TTrackPattern* track = ActiveTrack();
        if (!track || track->PatternCount == 0) {
            return;
        }
        BeforeChange(ChangeKind::Edit);
        ResizePatternIndex(Song, activeTrack_, 0);
        SongChanged(kViewTrack);
    }
}

} // namespace kellix
