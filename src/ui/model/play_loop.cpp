// Controll > "Loop".
#include "ui/model/editor_model.h"

namespace kellix {

void EditorModel::SetLoop(bool on) {
    loop_ = on;
    const int64_t end = live_.SetLoop(on);
    if (end >= 0 && play_.What != PlayRecord::Kind::None) {
        RecordRepeats(play_, play_.PassFrames, end);
    }
}

} // namespace kellix
