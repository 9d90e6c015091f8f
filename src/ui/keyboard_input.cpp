#include "keyboard_input.h"

#include "image_view.h"

#include "ui/model/editor_model.h"

#include <QKeyEvent>
#include <QMouseEvent>

#include <iterator>

namespace kellix {

int KeySemitone(int qtKey) {
    static constexpr int kRows[] = {
        Qt::Key_Z, Qt::Key_S, Qt::Key_X, Qt::Key_D, Qt::Key_C, Qt::Key_V, Qt::Key_G,
        Qt::Key_B, Qt::Key_H, Qt::Key_N, Qt::Key_J, Qt::Key_M, Qt::Key_Q, Qt::Key_2,
        Qt::Key_W, Qt::Key_3, Qt::Key_E, Qt::Key_R, Qt::Key_5, Qt::Key_T, Qt::Key_6,
        Qt::Key_Y, Qt::Key_7, Qt::Key_U, Qt::Key_I,
    };
    for (int i = 0; i < static_cast<int>(std::size(kRows)); ++i) {
        if (kRows[i] == qtKey) {
            return i;
        }
    }
    return -1;
}

KeyboardInput::KeyboardInput(EditorModel& model, ImageView* editor,
                             std::function<PatternView()> view)
    : QObject(editor), model_(model), view_(std::move(view)) {
    editor->installEventFilter(this);
}

void KeyboardInput::ReleaseAll() {
    for (const auto& [key, tone] : down_) {
        model_.ReleaseKey(tone);
    }
    down_.clear();
    if (mouseTone_) {
        model_.ReleaseKey(*mouseTone_);
        mouseTone_.reset();
    }
}

bool KeyboardInput::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
        const auto* key = static_cast<QKeyEvent*>(event);
        // Keys with Ctrl, Alt or Meta are the menus' and the window's.
        if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
            break;
        }
        const bool press = event->type() == QEvent::KeyPress;
        if (press && (key->key() == Qt::Key_PageUp || key->key() == Qt::Key_PageDown)) {
            model_.SetOctave(model_.Octave() + (key->key() == Qt::Key_PageUp ? 1 : -1));
            return true;
        }
        const int semitone = KeySemitone(key->key());
        if (semitone < 0) {
            break;
        }
        // A key held down repeats as press and release pairs marked as repeats: it plays once.
        if (key->isAutoRepeat()) {
            return true;
        }
        const auto held = down_.find(key->key());
        if (press && held == down_.end()) {
            const int32_t tone = OctaveTone(model_.Octave()) + semitone;
            down_[key->key()] = tone;
            model_.PlayKey(tone);
        } else if (!press && held != down_.end()) {
            const int32_t tone = held->second;
            down_.erase(held);
            model_.ReleaseKey(tone);
        }
        return true;
    }
    case QEvent::FocusOut:
        // Releases that go to another widget never come here.
        ReleaseAll();
        break;
    case QEvent::MouseButtonPress: {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint p = mouse->position().toPoint();
        const PatternCell cell = PatternCellAt(p.x(), p.y(), view_());
        if (mouse->button() == Qt::LeftButton && cell.Time < 0 && !mouseTone_) {
            mouseTone_ = cell.Tone;
            model_.HoldKey(cell.Tone);
        }
        break;
    }
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && mouseTone_) {
            model_.ReleaseKey(*mouseTone_);
            mouseTone_.reset();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

} // namespace kellix
