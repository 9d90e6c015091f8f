#include "stereo_form.h"


#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

namespace kellix {

TformstereoForm::TformstereoForm() : ToolWindow(QStringLiteral("Stereo Delay"), 46, 469, 136, 195) {
    Label1 = AddLabel(QStringLiteral("L. Delay"), 4, 6);
    Edit1 = AddEdit(QStringLiteral("10584"), 60, 6, 73);
    ScrollBar1 = AddScrollBar(4, 30, 128, 10000, Edit1);
    Label2 = AddLabel(QStringLiteral("R. Delay"), 4, 54);
    Edit2 = AddEdit(QStringLiteral("15876"), 60, 54, 73);
    ScrollBar2 = AddScrollBar(4, 78, 128, 10000, Edit2);
    Label3 = AddLabel(QStringLiteral("L. Decay"), 4, 102);
    Edit3 = AddEdit(QStringLiteral("19960"), 60, 102, 73);
    ScrollBar3 = AddScrollBar(4, 126, 128, 32767, Edit3);
    Label4 = AddLabel(QStringLiteral("R. Decay"), 4, 150);
    Edit4 = AddEdit(QStringLiteral("16383"), 61, 150, 73);
    ScrollBar4 = AddScrollBar(4, 174, 129, 32767, Edit4);
    for (QLineEdit* box : {Edit1, Edit2, Edit3, Edit4}) {
        connect(box, &QLineEdit::textChanged, this, &TformstereoForm::Edit1Change);
    }
}

QScrollBar* TformstereoForm::AddScrollBar(int left, int top, int width, int maximum,
                                          QLineEdit* box) {
    auto* bar = new QScrollBar(Qt::Horizontal, this);
    bar->setGeometry(left, top, width, 16);
    bar->setRange(0, maximum);
    bar->setValue(0);
    connect(bar, &QScrollBar::valueChanged, box,
            [box](int position) { box->setText(QString::number(position)); });
    return bar;
}

void TformstereoForm::Edit1Change() {
    int32_t delayR = 0, delayL = 0, decayR = 0, decayL = 0;
    // This order decides which of several wrong boxes is reported.
    if (!ReadBox(Edit2, delayR) || !ReadBox(Edit1, delayL) || !ReadBox(Edit4, decayR) ||
        !ReadBox(Edit3, decayL)) {
        return;
    }
    ClearNumberError();
    if (OnDelayChange) {
        OnDelayChange(decayL, decayR, delayL, delayR);
    }
}

} // namespace kellix
