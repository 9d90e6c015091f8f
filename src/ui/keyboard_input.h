#pragma once

#include "pattern_geometry.h"

#include <QObject>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>

namespace kellix {

class EditorModel;
class ImageView;

// The key's place in the two rows the computer keyboard plays, in semitones from the C of its
// octave: Z S X D C V G B H N J M are 0..11, Q 2 W 3 E R 5 T 6 Y 7 U I are 12..24; -1 for any
// other key.
int KeySemitone(int qtKey);

// The computer keyboard and the mouse on the keyboard beside the grid, while the pattern editor
// has the focus: a key of the two rows plays the current instrument once however long it is
// held, Page Up and Page Down move the octave, and a key held down (or the key of the grid's
// keyboard under the pressed mouse button) is lit until it is let go.
class KeyboardInput : public QObject {
    Q_OBJECT
  public:
    KeyboardInput(EditorModel& model, ImageView* editor, std::function<PatternView()> view);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void ReleaseAll();

    EditorModel& model_;
    std::function<PatternView()> view_;
    // The keys down and the tones they play (the octave may have moved since).
    std::map<int, int32_t> down_;
    std::optional<int32_t> mouseTone_;
};

} // namespace kellix
