#include "fatal_box.h"

#include <QMessageBox>

namespace kellix {

void ShowFatalErrorBox(const char* message) {
    QMessageBox box(QMessageBox::Critical, "Error!", QString::fromLocal8Bit(message));
    box.setObjectName("FatalError");
    box.exec();
}

} // namespace kellix
