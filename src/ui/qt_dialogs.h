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
    std::optional<double> AskTail(double seconds) override;

    // The song's file: the next file dialog without a path of its own opens in its folder. A
    // song without a file (after New) saves into the user's music folder.
    void RememberFile(const std::string& path);
    // The next open dialog without a path of its own opens in this folder (none: unchanged).
    void StartIn(const QString& folder);
    // Where a dialog with these settings opens: the folder of the suggested path when it has
    // one; else, for saving, the song's folder, or the music folder for a song without a file;
    // for opening, the folder last used.
    QString FolderFor(const FileDialogSettings& settings, bool save) const;

  private:
    std::optional<std::string> AskFile(const FileDialogSettings& settings, bool save);

    QWidget* parent_;
    QString folder_;
    QString songFolder_; // empty while the song has no file
    std::unique_ptr<QProgressDialog> progress_;
};

} // namespace kellix
