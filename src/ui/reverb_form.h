#pragma once

#include "tool_window.h"

#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kellix {

struct TEffects;

// The "Reverb" window: three boxes whose every change is reported through OnReverbChange, read
// leniently (any text gives a number): the amplitude, the step and the cutoff box, which the
// effects take as the band. The "On" box switches the reverb on and off (OnReverbSwitch).
class TreverbformForm : public ToolWindow {
    Q_OBJECT
  public:
    TreverbformForm();

    // Shows the song's values and switch without reporting them back. A box whose text already
    // reads as its value keeps the text (the user may be typing it).
    void ShowEffects(const TEffects& effects);

    std::function<void(int32_t amplitude, int32_t step, int32_t band)> OnReverbChange;
    std::function<void(bool on)> OnReverbSwitch;

    QLabel* Label1;
    QLineEdit* Edit1; // amplitude
    QLabel* Label2;
    QLineEdit* Edit2; // step
    QLabel* Label3;
    QLineEdit* Edit3;     // cutoff, sent as the band
    QCheckBox* CheckBox1; // "On"

  private:
    void Edit1Change();

    bool showing_ = false; // ShowEffects is writing the boxes
};

} // namespace kellix
