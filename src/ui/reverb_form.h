#pragma once

#include "tool_window.h"

#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kellix {

// The "Reverb" window: three boxes whose every change is reported through OnReverbChange. The
// check box is shown for the user's notes only; nothing reads it.
class TreverbformForm : public ToolWindow {
    Q_OBJECT
  public:
    TreverbformForm();

    std::function<void()> OnReverbChange;

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

// Reads the three boxes leniently (any text gives a number) and sends them to the master
// effects: SetReverb(amplitude, 20000, step, cutoff box, 256).
void ApplyReverbBoxes(const TreverbformForm& form);

} // namespace kellix
