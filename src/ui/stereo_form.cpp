#include "stereo_form.h"

#include "song/song_effects.h"
#include "support/numtext.h"

#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

namespace kellix {

TformstereoForm::TformstereoForm() : ToolWindow(QStringLiteral("Stereo Delay"), 46, 469, 136, 195) {
    Label1 = AddLabel(QStringLiteral("L. Delay"), 4, 6);
    const TEffects start;
    Edit1 = AddEdit(QString::number(start.DelayL), 60, 6, 73);
    ScrollBar1 = AddScrollBar(4, 30, 128, 10000, Edit1);
    Label2 = AddLabel(QStringLiteral("R. Delay"), 4, 54);
    Edit2 = AddEdit(QString::number(start.DelayR), 60, 54, 73);
    ScrollBar2 = AddScrollBar(4, 78, 128, 10000, Edit2);
    Label3 = AddLabel(QStringLiteral("L. Decay"), 4, 102);
    Edit3 = AddEdit(QString::number(start.DecayL), 60, 102, 73);
    ScrollBar3 = AddScrollBar(4, 126, 128, 32767, Edit3);
    Label4 = AddLabel(QStringLiteral("R. Decay"), 4, 150);
    Edit4 = AddEdit(QString::number(start.DecayR), 61, 150, 73);
    ScrollBar4 = AddScrollBar(4, 174, 129, 32767, Edit4);
    FitCaptions({{Label1, Edit1}, {Label2, Edit2}, {Label3, Edit3}, {Label4, Edit4}});
    for (QLineEdit* box : {Edit1, Edit2, Edit3, Edit4}) {
        connect(box, &QLineEdit::textChanged, this, &TformstereoForm::Edit1Change);
    }
    ShowEffects(start);
}

void TformstereoForm::ShowEffects(const TEffects& effects) {
    showing_ = true;
    const std::pair<QLineEdit*, QScrollBar*> rows[] = {
        {Edit1, ScrollBar1}, {Edit2, ScrollBar2}, {Edit3, ScrollBar3}, {Edit4, ScrollBar4}};
    const int32_t values[] = {effects.DelayL, effects.DelayR, effects.DecayL, effects.DecayR};
    for (int i = 0; i < 4; ++i) {
        auto [box, bar] = rows[i];
        int32_t shown = 0;
        if (!StrictTextToInt(box->text().toStdString(), shown) || shown != values[i]) {
            box->setText(QString::number(values[i]));
        }
        // The bar's own range limits the position.
        const QSignalBlocker quiet(bar);
        bar->setValue(values[i]);
    }
    showing_ = false;
    ClearNumberError();
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
    if (showing_) {
        return;
    }
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
