#include "reverb_form.h"

#include "song/song_effects.h"
#include "support/numtext.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace kellix {

TreverbformForm::TreverbformForm() : ToolWindow(QStringLiteral("Reverb"), 142, 227, 118, 105) {
    const TEffects start;
    Label1 = AddLabel(QStringLiteral("Amplitude"), 5, 11);
    Edit1 = AddEdit(QString::number(start.Amplitude), 59, 8, 54);
    Label2 = AddLabel(QStringLiteral("Step"), 5, 35);
    Edit2 = AddEdit(QString::number(start.Step), 59, 32, 54);
    Label3 = AddLabel(QStringLiteral("Cutoff"), 4, 59);
    Edit3 = AddEdit(QString::number(start.Cutoff), 59, 56, 54);
    FitCaptions({{Label1, Edit1}, {Label2, Edit2}, {Label3, Edit3}});
    CheckBox1 = new QCheckBox(QStringLiteral("On"), this);
    // The caption stands left of the box.
    CheckBox1->setLayoutDirection(Qt::RightToLeft);
    // The box lines up with the right edge of the boxes above; a caption that needs more room
    // in the application's font makes it and the window wider.
    const int width = std::max(Edit1->geometry().right() + 1 - 3, CheckBox1->sizeHint().width());
    CheckBox1->setGeometry(3, 83, width, 17);
    WidenClient(3 + width + 5);
    for (QLineEdit* box : {Edit1, Edit2, Edit3}) {
        connect(box, &QLineEdit::textChanged, this, &TreverbformForm::Edit1Change);
    }
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) {
        if (!showing_ && OnReverbSwitch) {
            OnReverbSwitch(on);
        }
    });
}

namespace {

int32_t Lenient(const QLineEdit* box) {
    return TextToInt(box->text().toUtf8().constData());
}

} // namespace

void TreverbformForm::ShowEffects(const TEffects& effects) {
    showing_ = true;
    const std::pair<QLineEdit*, int32_t> rows[] = {
        {Edit1, effects.Amplitude}, {Edit2, effects.Step}, {Edit3, effects.Cutoff}};
    for (auto [box, value] : rows) {
        if (Lenient(box) != value) {
            box->setText(QString::number(value));
        }
    }
    CheckBox1->setChecked(effects.Reverb != 0);
    showing_ = false;
}

void TreverbformForm::Edit1Change() {
    if (!showing_ && OnReverbChange) {
        OnReverbChange(Lenient(Edit1), Lenient(Edit2), Lenient(Edit3));
    }
}

} // namespace kellix
