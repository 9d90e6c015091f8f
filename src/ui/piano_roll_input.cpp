#include "piano_roll_input.h"

#include "image_view.h"

#include "ui/model/editor_model.h"

#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>

namespace kellix {

namespace {

constexpr int kNotch = 120; // angle delta of one wheel notch
constexpr int32_t kOctave = 12;

bool IsSelected(const Selection& sel, int32_t note) {
    return std::binary_search(sel.Notes.begin(), sel.Notes.end(), note);
}

} // namespace

PianoRollInput::PianoRollInput(ImageView& editor, QScrollBar& h, QScrollBar& v, EditorModel& model,
                               Hooks hooks)
    : QObject(&editor), editor_(editor), h_(h), v_(v), model_(model), hooks_(std::move(hooks)) {
    // Moves without a button tell where Paste puts notes.
    editor_.setMouseTracking(true);
    editor_.installEventFilter(this);
}

std::span<const TIdPoint> PianoRollInput::Notes() const {
    const TPattern* pattern = model_.ActivePattern();
    return pattern ? std::span(pattern->Points.begin(), pattern->Points.end())
                   : std::span<const TIdPoint>();
}

void PianoRollInput::Decorate(PatternPicture& picture, std::vector<TIdPoint>& scratch) const {
    if (gesture_ == Gesture::Band) {
        picture.Band = RubberBand{from_, to_};
    }
    if (gesture_ == Gesture::Move && (dTime_ != 0 || dTone_ != 0)) {
        scratch.assign(picture.Notes.begin(), picture.Notes.end());
        for (const int32_t i : model_.Selected().Notes) {
            if (i >= 0 && static_cast<std::size_t>(i) < scratch.size()) {
                // Wrapped rather than overflowing for a selection changed during the drag.
                TIdPoint& note = scratch[static_cast<std::size_t>(i)];
                note.Time = static_cast<int32_t>(int64_t{note.Time} + dTime_);
                note.Tone = static_cast<int32_t>(int64_t{note.Tone} + dTone_);
            }
        }
        picture.Notes = scratch;
    }
}

int32_t PianoRollInput::PasteStep() const {
    if (!hover_) {
        return cursor_;
    }
    return std::max(PatternCellAt(hover_->x(), hover_->y(), hooks_.View()).Time, 0);
}

bool PianoRollInput::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &editor_) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        Press(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseMove:
        Drag(static_cast<QMouseEvent*>(event));
        return true;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            Release();
        }
        return true;
    case QEvent::Leave:
        hover_.reset();
        return false;
    case QEvent::Wheel:
        Wheel(static_cast<QWheelEvent*>(event));
        return true;
    case QEvent::KeyPress:
        return Key(static_cast<QKeyEvent*>(event));
    case QEvent::ToolTip: {
        const auto* help = static_cast<QHelpEvent*>(event);
        const std::span<const TIdPoint> notes = Notes();
        const int32_t note = NoteShownAt(notes, model_.Selected().Instrument, help->pos().x(),
                                         help->pos().y(), hooks_.View());
        if (note >= 0) {
            QToolTip::showText(help->globalPos(),
                               NoteToolTip(notes[static_cast<std::size_t>(note)]), &editor_);
        } else {
            QToolTip::hideText();
        }
        return true;
    }
    default:
        return false;
    }
}

void PianoRollInput::Press(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const PatternView view = hooks_.View();
    const PatternCell cell = PatternCellAt(at.x(), at.y(), view);
    hover_ = at;
    gesture_ = Gesture::None;
    model_.BeginPatternGesture();
    if (cell.Time >= 0) {
        cursor_ = cell.Time;
    }
    if (event->button() == Qt::RightButton) {
        model_.RemoveNote(cell.Time, cell.Tone);
        return;
    }
    if (event->button() != Qt::LeftButton) {
        return;
    }
    if (cell.Time < 0) {
        // The keyboard plays the tone and places nothing.
        model_.PlaceNote(cell.Time, cell.Tone);
        return;
    }
    const int32_t note = NoteAt(Notes(), model_.Selected().Instrument, at.x(), at.y(), view);
    if (event->modifiers() & Qt::ShiftModifier) {
        if (note >= 0) {
            model_.ToggleNoteSelected(note);
        } else {
            gesture_ = Gesture::Band;
            from_ = to_ = at;
            hooks_.Repaint();
        }
        return;
    }
    if (note >= 0) {
        if (!IsSelected(model_.Selected(), note)) {
            model_.SelectNotes({note});
        }
        gesture_ = Gesture::Move;
        pressed_ = cell;
        dTime_ = dTone_ = 0;
        return;
    }
    if (!model_.Selected().Notes.empty()) {
        model_.ClearNoteSelection();
    }
    model_.PlaceNote(cell.Time, cell.Tone);
}

void PianoRollInput::Drag(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    hover_ = at;
    const PatternCell cell = PatternCellAt(at.x(), at.y(), hooks_.View());
    if (event->buttons() & Qt::RightButton) {
        model_.RemoveNote(cell.Time, cell.Tone);
    } else if (gesture_ == Gesture::Band) {
        to_ = at;
        hooks_.Repaint();
    } else if (gesture_ == Gesture::Move) {
        // The selection follows as far as it fits, on each axis that still fits.
        const int32_t dTime = cell.Time - pressed_.Time;
        const int32_t dTone = cell.Tone - pressed_.Tone;
        if (dTime == dTime_ && dTone == dTone_) {
            return; // still over the cell the selection is shown at
        }
        const auto fits = [this](int32_t t, int32_t n) {
            return (t == 0 && n == 0) || model_.SelectionMoveFits(t, n);
        };
        int32_t t = dTime_;
        int32_t n = dTone_;
        if (fits(dTime, dTone)) {
            t = dTime;
            n = dTone;
        } else if (fits(dTime, dTone_)) {
            t = dTime;
        } else if (fits(dTime_, dTone)) {
            n = dTone;
        }
        if (t != dTime_ || n != dTone_) {
            dTime_ = t;
            dTone_ = n;
            hooks_.Repaint();
        }
    }
}

void PianoRollInput::Release() {
    const Gesture gesture = gesture_;
    gesture_ = Gesture::None;
    if (gesture == Gesture::Band) {
        model_.SelectNotes(NotesCovered(Notes(), model_.Selected().Instrument,
                                        RubberBand{from_, to_}, hooks_.View()));
    } else if (gesture == Gesture::Move && (dTime_ != 0 || dTone_ != 0)) {
        model_.MoveSelection(dTime_, dTone_);
    }
    hooks_.Repaint();
}

bool PianoRollInput::Key(QKeyEvent* event) {
    const Qt::KeyboardModifiers mods =
        event->modifiers() &
        (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    const int32_t semitones = mods == Qt::ShiftModifier ? kOctave : 1;
    if (mods == Qt::ControlModifier && event->key() == Qt::Key_A) {
        model_.SelectAllNotes();
        return true;
    }
    if (mods != Qt::NoModifier && mods != Qt::ShiftModifier) {
        return false;
    }
    switch (event->key()) {
    case Qt::Key_Escape:
        gesture_ = Gesture::None;
        model_.ClearNoteSelection();
        return true;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        model_.DeleteSelection();
        return true;
    case Qt::Key_Up:
        model_.MoveSelection(0, semitones);
        return true;
    case Qt::Key_Down:
        model_.MoveSelection(0, -semitones);
        return true;
    case Qt::Key_Left:
        model_.MoveSelection(-1, 0);
        return true;
    case Qt::Key_Right:
        model_.MoveSelection(1, 0);
        return true;
    default:
        return false;
    }
}

void PianoRollInput::Wheel(QWheelEvent* event) {
    const QPoint delta = event->angleDelta();
    wheelRest_ += delta.y() != 0 ? delta.y() : delta.x();
    const int notches = wheelRest_ / kNotch;
    wheelRest_ -= notches * kNotch;
    if (notches == 0) {
        return;
    }
    const PatternView view = hooks_.View();
    const int cells = notches * QApplication::wheelScrollLines();
    if (event->modifiers() & Qt::ControlModifier) {
        hooks_.Zoom(ZoomStep(view.CellWidth, notches), event->position().toPoint().x());
    } else if (event->modifiers() & Qt::ShiftModifier) {
        h_.setValue(h_.value() - cells * ClampCellWidth(view.CellWidth));
    } else {
        v_.setValue(v_.value() - cells * kToneHeight);
    }
}

} // namespace kellix
