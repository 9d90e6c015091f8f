#pragma once

#include <QDialog>

#include <string>

class QSpinBox;

namespace kellix {

// Edit > "Preferences...": the sound device's buffer in frames, kept in the settings file and
// used from the next start on.
class PreferencesDialog : public QDialog {
    Q_OBJECT
  public:
    PreferencesDialog(std::string settingsFile, QWidget* parent = nullptr);

    QSpinBox* AudioFrames;

    // OK: saves the settings; a file that cannot be written is said and the dialog stays open.
    void accept() override;

  private:
    std::string settingsFile_;
};

} // namespace kellix
