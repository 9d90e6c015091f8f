#include "preferences_dialog.h"

#include "ui/model/settings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kellix {

PreferencesDialog::PreferencesDialog(std::string settingsFile, QWidget* parent)
    : QDialog(parent), settingsFile_(std::move(settingsFile)) {
    setObjectName("Preferences");
    setWindowTitle("Preferences");
    auto* rows = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    AudioFrames = new QSpinBox(this);
    AudioFrames->setObjectName("AudioFrames");
    AudioFrames->setRange(kMinAudioFrames, kMaxAudioFrames);
    AudioFrames->setSingleStep(64);
    AudioFrames->setSuffix(" frames");
    AudioFrames->setValue(LoadSettings(settingsFile_).AudioFrames.value_or(kDefaultAudioFrames));
    form->addRow("Sound buffer:", AudioFrames);
    rows->addLayout(form);
    auto* note = new QLabel("A smaller buffer answers sooner; raise it if the sound crackles.\n"
                            "Takes effect at the next start of Kellix "
                            "(KELLIX_AUDIO_FRAMES, when set, comes first).",
                            this);
    note->setWordWrap(true);
    rows->addWidget(note);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &PreferencesDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PreferencesDialog::reject);
    rows->addWidget(buttons);
}

void PreferencesDialog::accept() {
    Settings settings = LoadSettings(settingsFile_);
    settings.AudioFrames = AudioFrames->value();
    std::string error;
    if (!SaveSettings(settingsFile_, settings, &error)) {
        QMessageBox::warning(this, "Preferences", QString::fromStdString(error));
        return;
    }
    QDialog::accept();
}

} // namespace kellix
