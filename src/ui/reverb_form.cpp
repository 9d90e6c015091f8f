#include "reverb_form.h"

#include "support/numtext.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace kellix {

TreverbformForm::TreverbformForm() : ToolWindow(QStringLiteral("Reverb"), 142, 227, 118, 105) {
    Label1 = AddLabel(QStringLiteral("Amplitude"), 5, 11);
    Edit1 = AddEdit(QStringLiteral("4000"), 59, 8, 54);
    Label2 = AddLabel(QStringLiteral("Step"), 5, 35);
    Edit2 = AddEdit(QStringLiteral("10400"), 59, 32, 54);
    Label3 = AddLabel(QStringLiteral("Cutoff"), 4, 59);
    Edit3 = AddEdit(QStringLiteral("256"), 59, 56, 54);
    CheckBox1 = new QCheckBox(QStringLiteral("Apply to instrument"), this);
    // The caption stands left of the box.
    CheckBox1->setLayoutDirection(Qt::RightToLeft);
    // The caption may need more room in the application's font than the design's 110 pixels;
    // the box and the window grow to show it whole.
    const int width = std::max(110, CheckBox1->sizeHint().width());
    CheckBox1->setGeometry(3, 83, width, 17);
    WidenClient(3 + width + 5);
    for (QLineEdit* box : {Edit1, Edit2, Edit3}) {
        connect(box, &QLineEdit::textChanged, this, &TreverbformForm::Edit1Change);
    }
}

void TreverbformForm::Edit1Change() {
    if (!OnReverbChange) {
        return;
    }
    const auto read = [](const QLineEdit* box) {
        return TextToInt(box->text().toUtf8().constData());
    };
    OnReverbChange(read(Edit1), read(Edit2), read(Edit3));
}

} // namespace kellix
