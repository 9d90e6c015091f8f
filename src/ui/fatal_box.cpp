#include "fatal_box.h"

#include <QMessageBox>

namespace kellix {

void ShowFatalErrorBox(const char* message) {
    ShowFatalErrorBox(message, "");
}

void ShowFatalErrorBox(const char* message, const char* reason) {
    QMessageBox box(QMessageBox::Critical, "Error!", QString::fromLocal8Bit(message));
    box.setObjectName("FatalError");
    if (reason && *reason) {
        box.setInformativeText(QString::fromLocal8Bit(reason));
    }
    box.exec();
}

} // namespace kellix
