#include "diagnostics_strip.h"

#include "ui/model/run_notes.h"

namespace kellix {

DiagnosticsStrip::DiagnosticsStrip(QWidget* parent) : QLabel(parent) {
    // Compiler texts quote the code: shown as text, whatever they hold.
    setTextFormat(Qt::PlainText);
    setTextInteractionFlags(Qt::TextSelectableByMouse);
    setContentsMargins(4, 1, 4, 1);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(255, 244, 200));
    colours.setColor(QPalette::WindowText, QColor(96, 64, 0));
    setPalette(colours);
    // Its width follows the code box, never the text's length.
    setMinimumWidth(1);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    hide();
}

void DiagnosticsStrip::ShowNotes(const RunNotes& notes) {
    // Compiler texts are bytes of the code: Latin-1 keeps every one of them.
    full_ = QString::fromLatin1(QByteArray::fromStdString(notes.Strip()));
    setToolTip(QString::fromLatin1(QByteArray::fromStdString(notes.List())));
    setVisible(!full_.isEmpty());
    Fit();
}

void DiagnosticsStrip::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    Fit();
}

void DiagnosticsStrip::Fit() {
    setText(fontMetrics().elidedText(full_, Qt::ElideRight, contentsRect().width()));
}

} // namespace kellix
