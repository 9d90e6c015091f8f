#pragma once

#include "draw_pattern.h"
#include "pattern_geometry.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <optional>
#include <vector>

class QScrollBar;
class QKeyEvent;
class QMouseEvent;
class QWheelEvent;

namespace kellix {

class EditorModel;
class ImageView;

// The pattern editor's mouse, wheel, keys and tooltips, turned into the editor model's
// commands and into scrolling and zoom of the view:
// - left press on an empty cell places a note and plays it (on the keyboard it only plays);
//   on a note it selects the note, and a drag moves the selection cell by cell, as one step;
// - Shift+left on a note toggles it in the selection; from an empty cell a drag draws a
//   rubber band that selects the notes it covers;
// - right press or drag removes notes;
// - Up/Down move the selection a semitone (Shift: an octave), Left/Right a step; Delete
//   removes it; Ctrl+A selects all of the instrument's notes; Escape selects none;
// - the wheel scrolls the tones, Shift+wheel the steps, Ctrl+wheel zooms the time axis.
// It watches the editor's events; the window keeps the scroll bars and the zoom.
class PianoRollInput : public QObject {
  public:
    struct Hooks {
        // The scroll offsets and cell width now.
        std::function<PatternView()> View;
        // The window's cell width becomes cellWidth, the time under image column x kept.
        std::function<void(int cellWidth, int x)> Zoom;
        // Draws the picture again (with what Decorate adds).
        std::function<void()> Repaint;
    };

    PianoRollInput(ImageView& editor, QScrollBar& h, QScrollBar& v, EditorModel& model,
                   Hooks hooks);

    // What a gesture adds to the picture: the rubber band, and the selection where a drag
    // would move it (the moved notes are kept in scratch).
    void Decorate(PatternPicture& picture, std::vector<TIdPoint>& scratch) const;

    // The step Paste puts notes at: under the mouse while it is over the editor, else the step
    // cursor (the step of the last press on the grid).
    int32_t PasteStep() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    enum class Gesture { None, Band, Move };

    void Press(QMouseEvent* event);
    void Drag(QMouseEvent* event);
    void Release();
    bool Key(QKeyEvent* event);
    void Wheel(QWheelEvent* event);
    std::span<const TIdPoint> Notes() const;

    ImageView& editor_;
    QScrollBar& h_;
    QScrollBar& v_;
    EditorModel& model_;
    Hooks hooks_;
    Gesture gesture_ = Gesture::None;
    QPoint from_;
    QPoint to_;
    PatternCell pressed_ = {0, 0};
    // A drag's move, in steps and semitones: the last one the selection fits.
    int32_t dTime_ = 0;
    int32_t dTone_ = 0;
    std::optional<QPoint> hover_;
    int32_t cursor_ = 0;
    // Wheel turns not yet a whole notch (high-resolution wheels send eighths).
    int wheelRest_ = 0;
};

} // namespace kellix
