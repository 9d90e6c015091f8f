#pragma once

#include "tool_window.h"

#include <cstdint>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kellix {

// The "Reverb" window: three boxes whose every change is reported through OnReverbChange, read
// leniently (any text gives a number): the amplitude, the step and the cutoff box, which the
// effects take as the band. The check box is shown for the user's notes only; nothing reads it.
class TreverbformForm : public ToolWindow {
    Q_OBJECT
  public:
    TreverbformForm();

    std::function<void(int32_t amplitude, int32_t step, int32_t band)> OnReverbChange;

    QLabel* Label1;
    QLineEdit* Edit1; // amplitude
    QLabel* Label2;
    QLineEdit* Edit2; // step
    QLabel* Label3;
    QLineEdit* Edit3; // cutoff, sent as the band
    QCheckBox* CheckBox1;

  private:
    void Edit1Change();
};

} // namespace kellix
