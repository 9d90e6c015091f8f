#include "about_box.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace kellix {

TAboutBox::TAboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About");
    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel("<b>Kellix</b> " KELLIX_VERSION, this);
    auto* what = new QLabel("A music sequencer whose instruments are short scripts.", this);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(name);
    layout->addWidget(what);
    layout->addWidget(buttons);
}

} // namespace kellix
