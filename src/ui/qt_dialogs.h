#pragma once

#include "ui/model/dialogs.h"

#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace kellix {

// The editor's questions asked with the platform's dialogs, over the main window.
class QtDialogs final : public Dialogs {
  public:
    explicit QtDialogs(QWidget* parent);
    ~QtDialogs() override;

    std::optional<std::string> OpenFile(const FileDialogSettings& settings) override;
    std::optional<std::string> SaveFile(const FileDialogSettings& settings) override;
    SaveAnswer AskSaveChanges() override;
    void ShowError(const std::string& message) override;
    bool Confirm(const std::string& question) override;
    void BeginProgress(const std::string& title) override;
    bool Progress(int64_t done, int64_t total) override;
    void EndProgress() override;
    bool AskRestoreRecovery() override;

    // The song's file: the next file dialog without a path of its own opens in its folder.
    void RememberFile(const std::string& path);
    // The next file dialog without a path of its own opens in this folder (none: unchanged).
    void StartIn(const QString& folder);

  private:
    QWidget* parent_;
    QString folder_;
    std::unique_ptr<QProgressDialog> progress_;
};

} // namespace kellix
