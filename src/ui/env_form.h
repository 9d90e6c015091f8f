#pragma once

#include "tool_window.h"

#include <cstdint>
#include <functional>

class QLabel;
class QLineEdit;

namespace kellix {

struct TEnvelope;

// The "Env" window edits the envelope of the active instrument. It shows the values it is given
// and reports each valid change through OnStore; the owner of the song stores it, so the window
// never holds a reference into the instrument array, which moves when it is resized.
class TFromenvForm : public ToolWindow {
    Q_OBJECT
  public:
    TFromenvForm();

    // Attaches the window to an envelope and shows its values, or detaches it (null): the boxes
    // keep their text and changes store nothing.
    void SetEnv(const TEnvelope* env);

    // field 0 = Attack, 1 = Cont, 2 = Ende.
    std::function<void(int field, int32_t value)> OnStore;

    QLabel* Label1;
    QLineEdit* Edit1; // Attack
    QLabel* Label2;
    QLineEdit* Edit2; // Cont
    QLabel* Label3;
    QLineEdit* Edit3; // Ende

  private:
    void BoxChange(int field, const QLineEdit* box);

    bool attached_ = false;
    bool showing_ = false; // SetEnv is writing the boxes
};

} // namespace kellix
