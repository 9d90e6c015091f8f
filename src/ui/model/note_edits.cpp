// The edits of the selected notes and of whole patterns, and the clipboard's texts of notes and
// pattern lists.
#include "ui/model/note_edits.h"

#include "ui/model/clipboard_text.h"
#include "ui/model/editor_model.h"

#include <algorithm>
#include <unordered_set>

namespace kellix {

namespace {

uint64_t CellKey(int32_t time, int32_t tone) {
    return uint64_t{static_cast<uint32_t>(time)} << 32 | static_cast<uint32_t>(tone);
}

const char* const kOffGrid =
    "a note would leave the grid (before step 0, or outside tones C1 to B8)";

} // namespace

bool OnGrid(int64_t time, int64_t tone) {
    return time >= 0 && time <= INT32_MAX && tone >= kLowestTone && tone <= kHighestTone;
}

bool MoveFits(std::span<const TIdPoint> notes, std::span<const int32_t> selected, int32_t dTime,
              int32_t dTone) {
    return std::all_of(selected.begin(), selected.end(), [&](int32_t i) {
        const TIdPoint& note = notes[static_cast<std::size_t>(i)];
        return OnGrid(int64_t{note.Time} + dTime, int64_t{note.Tone} + dTone);
    });
}

std::vector<int32_t> MoveNotes(std::vector<TIdPoint>& notes, std::span<const int32_t> selected,
                               int32_t dTime, int32_t dTone, int32_t instrument) {
    std::vector<bool> moving(notes.size());
    std::unordered_set<uint64_t> landing;
    landing.reserve(selected.size());
    for (const int32_t i : selected) {
        TIdPoint& note = notes[static_cast<std::size_t>(i)];
        moving[static_cast<std::size_t>(i)] = true;
        note.Time += dTime;
        note.Tone += dTone;
        landing.insert(CellKey(note.Time, note.Tone));
    }
    std::vector<int32_t> moved;
    moved.reserve(selected.size());
    std::size_t kept = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const TIdPoint& note = notes[i];
        if (!moving[i] && note.Instrument == instrument &&
            landing.count(CellKey(note.Time, note.Tone)) > 0) {
            continue;
        }
        if (moving[i]) {
            moved.push_back(static_cast<int32_t>(kept));
        }
        notes[kept++] = note;
    }
    notes.resize(kept);
    return moved;
}

void RemoveNotes(std::vector<TIdPoint>& notes, std::span<const int32_t> selected) {
    std::vector<bool> removed(notes.size());
    for (const int32_t i : selected) {
        removed[static_cast<std::size_t>(i)] = true;
    }
    std::size_t kept = 0;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (!removed[i]) {
            notes[kept++] = notes[i];
        }
    }
    notes.resize(kept);
}

std::vector<int32_t> AddNotes(std::vector<TIdPoint>& notes, std::span<const TIdPoint> added,
                              int32_t instrument) {
    // The last of the added notes in a cell is the one kept, in the order they came.
    std::unordered_set<uint64_t> cells;
    cells.reserve(added.size());
    std::vector<TIdPoint> adding;
    for (std::size_t i = added.size(); i-- > 0;) {
        if (cells.insert(CellKey(added[i].Time, added[i].Tone)).second) {
            adding.push_back(added[i]);
        }
    }
    std::reverse(adding.begin(), adding.end());
    std::erase_if(notes, [&](const TIdPoint& note) {
        return note.Instrument == instrument && cells.count(CellKey(note.Time, note.Tone)) > 0;
    });
    std::vector<int32_t> selected;
    selected.reserve(adding.size());
    for (TIdPoint note : adding) {
        note.Instrument = instrument;
        selected.push_back(static_cast<int32_t>(notes.size()));
        notes.push_back(note);
    }
    return selected;
}

// ---- The editor model's commands on the selection.

void EditorModel::SelectNotes(std::vector<int32_t> notes) {
    sel_.Notes = std::move(notes);
    sel_.KeepShownNotes(doc_.Song);
    view_.Refresh(kViewPattern);
}

void EditorModel::ToggleNoteSelected(int32_t note) {
    std::vector<int32_t> notes = sel_.Notes;
    const auto at = std::lower_bound(notes.begin(), notes.end(), note);
    if (at != notes.end() && *at == note) {
        notes.erase(at);
    } else {
        notes.insert(at, note);
    }
    SelectNotes(std::move(notes));
}

void EditorModel::SelectAllNotes() {
    const TPattern* pattern = ActivePattern();
    std::vector<int32_t> notes;
    for (int32_t i = 0; pattern && i < pattern->PointsCount(); ++i) {
        notes.push_back(i);
    }
    SelectNotes(std::move(notes));
}

void EditorModel::ClearNoteSelection() {
    SelectNotes({});
}

bool EditorModel::SelectionMoveFits(int32_t dTime, int32_t dTone) const {
    const TPattern* pattern = ActivePattern();
    return pattern && !sel_.Notes.empty() &&
           MoveFits(std::span(pattern->Points.begin(), pattern->Points.end()), sel_.Notes, dTime,
                    dTone);
}

void EditorModel::StoreNotes(std::vector<TIdPoint> notes, std::vector<int32_t> selected) {
    BeforeChange(ChangeKind::Edit);
    doc_.Song.Patterns.EditAt(sel_.Pattern).Points = SharedArray<TIdPoint>(std::move(notes));
    sel_.Notes = std::move(selected);
    SongChanged(kViewPattern);
}

bool EditorModel::MoveSelection(int32_t dTime, int32_t dTone) {
    if (sel_.Notes.empty() || (dTime == 0 && dTone == 0)) {
        return false;
    }
    if (!SelectionMoveFits(dTime, dTone)) {
        status_ = std::string("Not moved: ") + kOffGrid;
        view_.Refresh(kViewStatus);
        return false;
    }
    const TPattern& pattern = *ActivePattern();
    std::vector<TIdPoint> notes(pattern.Points.begin(), pattern.Points.end());
    std::vector<int32_t> moved = MoveNotes(notes, sel_.Notes, dTime, dTone, sel_.Instrument);
    StoreNotes(std::move(notes), std::move(moved));
    return true;
}

void EditorModel::DeleteSelection() {
    const TPattern* pattern = ActivePattern();
    if (!pattern || sel_.Notes.empty()) {
        return;
    }
    std::vector<TIdPoint> notes(pattern->Points.begin(), pattern->Points.end());
    RemoveNotes(notes, sel_.Notes);
    StoreNotes(std::move(notes), {});
}

std::string EditorModel::SelectionText() const {
    const TPattern* pattern = ActivePattern();
    if (!pattern) {
        return {};
    }
    std::vector<TIdPoint> notes;
    notes.reserve(sel_.Notes.size());
    for (const int32_t i : sel_.Notes) {
        notes.push_back(pattern->Points[i]);
    }
    return NotesClipText(notes);
}

std::string EditorModel::CutSelection() {
    std::string text = SelectionText();
    DeleteSelection();
    return text;
}

bool EditorModel::PasteNotes(std::string_view text, int32_t time) {
    const TPattern* pattern = ActivePattern();
    if (!pattern) {
        return false;
    }
    std::vector<TIdPoint> added = NotesFromClipText(text);
    if (added.empty()) {
        status_ = "Nothing pasted: the clipboard holds no notes";
        view_.Refresh(kViewStatus);
        return false;
    }
    const int32_t first =
        std::min_element(added.begin(), added.end(), [](const TIdPoint& a, const TIdPoint& b) {
            return a.Time < b.Time;
        })->Time;
    const int64_t shift = int64_t{std::max(time, 0)} - first;
    for (TIdPoint& note : added) {
        if (!OnGrid(note.Time + shift, note.Tone)) {
            status_ = std::string("Nothing pasted: ") + kOffGrid;
            view_.Refresh(kViewStatus);
            return false;
        }
        note.Time = static_cast<int32_t>(note.Time + shift);
        // Kept in the ranges the mixer uses, as a placed note's are.
        note.Vol = std::clamp(note.Vol, 0, kMaxNoteVol);
        note.Pan = std::clamp(note.Pan, 0, kMaxNotePan);
    }
    std::vector<TIdPoint> notes(pattern->Points.begin(), pattern->Points.end());
    std::vector<int32_t> pasted = AddNotes(notes, added, sel_.Instrument);
    // A pattern the song text reader would leave out is never made.
    if (notes.size() > static_cast<std::size_t>(kMaxSongListEntries)) {
        status_ = "Nothing pasted: a pattern holds at most " + std::to_string(kMaxSongListEntries) +
                  " notes";
        view_.Refresh(kViewStatus);
        return false;
    }
    StoreNotes(std::move(notes), std::move(pasted));
    return true;
}

void EditorModel::SetSelectionVolPan() {
    const TPattern* pattern = ActivePattern();
    if (!pattern || sel_.Notes.empty()) {
        return;
    }
    std::vector<TIdPoint> notes(pattern->Points.begin(), pattern->Points.end());
    bool changed = false;
    for (const int32_t i : sel_.Notes) {
        TIdPoint& note = notes[static_cast<std::size_t>(i)];
        changed = changed || note.Vol != noteVol_ || note.Pan != notePan_;
        note.Vol = noteVol_;
        note.Pan = notePan_;
    }
    if (changed) {
        std::vector<int32_t> selected = sel_.Notes;
        StoreNotes(std::move(notes), std::move(selected));
    }
}

// ---- Whole patterns and the track's pattern list.

void EditorModel::DuplicatePattern() {
    const TPattern* pattern = ActivePattern();
    const int32_t n = doc_.Song.PatternCount();
    if (!pattern || n >= kMaxSongTables) {
        return;
    }
    const TPattern copy = *pattern;
    BeforeChange(ChangeKind::Edit);
    ResizePatterns(doc_.Song, n + 1);
    doc_.Song.Patterns.EditAt(n) = copy;
    sel_.Pattern = sel_.PatternItem = n;
    sel_.Notes.clear();
    SongChanged(kViewPatterns | kViewPattern | kViewNewPattern | kViewCounts);
}

std::string EditorModel::TrackText() const {
    const TTrackPattern* track = ActiveTrack();
    return track ? PatternListClipText(
                       std::span(track->PatternIndex.begin(), track->PatternIndex.end()))
                 : std::string();
}

bool EditorModel::PasteTrack(std::string_view text) {
    const TTrackPattern* track = ActiveTrack();
    if (!track) {
        return false;
    }
    std::optional<std::vector<int32_t>> patterns = PatternListFromClipText(text);
    // Pattern numbers past the song's patterns may stay in a track; negative ones name none.
    if (!patterns || std::any_of(patterns->begin(), patterns->end(),
                                 [](int32_t p) { return p < 0 || p >= kMaxSongTables; })) {
        status_ = "Nothing pasted: the clipboard holds no pattern list";
        view_.Refresh(kViewStatus);
        return false;
    }
    if (std::equal(patterns->begin(), patterns->end(), track->PatternIndex.begin(),
                   track->PatternIndex.end())) {
        return true;
    }
    BeforeChange(ChangeKind::Edit);
    doc_.Song.Tracks.EditAt(sel_.Track).PatternIndex = SharedArray<int32_t>(std::move(*patterns));
    SongChanged(kViewTrack);
    return true;
}

} // namespace kellix
