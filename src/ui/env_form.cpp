#include "env_form.h"

#include "song/track.h"

#include <QLabel>
#include <QLineEdit>

namespace kellix {

TFromenvForm::TFromenvForm() : ToolWindow(QStringLiteral("Env"), 156, 106, 105, 82) {
    Label1 = AddLabel(QStringLiteral("Attack"), 5, 11);
    Edit1 = AddEdit(QStringLiteral("0"), 51, 8, 49);
    Label2 = AddLabel(QStringLiteral("Cont"), 5, 35);
    Edit2 = AddEdit(QStringLiteral("0"), 51, 32, 49);
    Label3 = AddLabel(QStringLiteral("End"), 5, 59);
    Edit3 = AddEdit(QStringLiteral("0"), 51, 56, 49);
    FitCaptions({{Label1, Edit1}, {Label2, Edit2}, {Label3, Edit3}});
    connect(Edit1, &QLineEdit::textChanged, this, [this] { BoxChange(0, Edit1); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { BoxChange(1, Edit2); });
    connect(Edit3, &QLineEdit::textChanged, this, [this] { BoxChange(2, Edit3); });
}

void TFromenvForm::SetEnv(const TEnvelope* env) {
    attached_ = env != nullptr;
    if (!env) {
        return;
    }
    // Showing the values is not a change of them: nothing is stored back.
    showing_ = true;
    Edit1->setText(QString::number(env->Attack));
    Edit2->setText(QString::number(env->Cont));
    Edit3->setText(QString::number(env->Ende));
    showing_ = false;
    ClearNumberError();
}

void TFromenvForm::BoxChange(int field, const QLineEdit* box) {
    if (showing_) {
        return;
    }
    int32_t value = 0;
    if (!ReadBox(box, value)) {
        return;
    }
    // Durations are frames: a negative one would be saved as a huge unsigned number and read
    // back as another.
    if (value < 0) {
        ShowNumberError(QStringLiteral("'%1' must be 0 or more").arg(box->text()));
        return;
    }
    ClearNumberError();
    if (attached_ && OnStore) {
        OnStore(field, value);
    }
}

} // namespace kellix
