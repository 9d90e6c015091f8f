#pragma once

#include "tool_window.h"

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;
class QScrollBar;

namespace kellix {

struct TEffects;

// The "Stereo Delay" window. Every change of a box reports all four boxes through
// OnDelayChange; each scroll bar writes its position into the box above it. ShowEffects puts
// the song's values into the boxes and places the bars at them (a value beyond a bar's range at
// its end); nothing is clamped here.
class TformstereoForm : public ToolWindow {
    Q_OBJECT
  public:
    TformstereoForm();

    // Shows the values without reporting them back. A box whose text already reads as its value
    // keeps the text (the user may be typing it).
    void ShowEffects(const TEffects& effects);

    std::function<void(int32_t decayL, int32_t decayR, int32_t delayL, int32_t delayR)>
        OnDelayChange;

    QLabel* Label1;
    QLineEdit* Edit1; // L. Delay
    QScrollBar* ScrollBar1;
    QLabel* Label2;
    QLineEdit* Edit2; // R. Delay
    QScrollBar* ScrollBar2;
    QLabel* Label3;
    QLineEdit* Edit3; // L. Decay
    QScrollBar* ScrollBar3;
    QLabel* Label4;
    QLineEdit* Edit4; // R. Decay
    QScrollBar* ScrollBar4;

  private:
    QScrollBar* AddScrollBar(int left, int top, int width, int maximum, QLineEdit* box);
    void Edit1Change();

    bool showing_ = false; // ShowEffects is writing the boxes
};

} // namespace kellix
