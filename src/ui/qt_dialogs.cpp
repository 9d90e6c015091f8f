#include "qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>

namespace kellix {

namespace {

std::optional<std::string> AskFile(QWidget* parent, const FileDialogSettings& s, bool save,
                                   QString& folder) {
    QFileDialog dialog(parent);
    // Without a path of its own the dialog opens where the user last was, as a platform file
    // dialog does, not in whatever folder the program was started from.
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromStdString(DialogFilter(s.Filter)));
    dialog.setDefaultSuffix(QString::fromStdString(DialogSuffix(s.DefaultExt)));
    const QString name = QString::fromStdString(s.FileName);
    // A wildcard is a filter, not a name to suggest.
    if (!name.isEmpty() && !name.contains('*')) {
        const QFileInfo info(name);
        if (info.isAbsolute()) {
            dialog.setDirectory(info.absolutePath());
        }
        dialog.selectFile(info.fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().first();
    folder = QFileInfo(chosen).absolutePath();
    return chosen.toStdString();
}

// Before the song has a file the dialogs start in the user's music folder, or at home without
// one.
QString MusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

} // namespace

QtDialogs::QtDialogs(QWidget* parent) : parent_(parent), folder_(MusicFolder()) {}

QtDialogs::~QtDialogs() = default;

std::optional<std::string> QtDialogs::OpenFile(const FileDialogSettings& settings) {
    return AskFile(parent_, settings, false, folder_);
}

std::optional<std::string> QtDialogs::SaveFile(const FileDialogSettings& settings) {
    return AskFile(parent_, settings, true, folder_);
}

SaveAnswer QtDialogs::AskSaveChanges() {
    const auto answer = QMessageBox::question(
        parent_, "Kellix", "Save changes to the song?",
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    return answer == QMessageBox::Save      ? SaveAnswer::Save
           : answer == QMessageBox::Discard ? SaveAnswer::Discard
                                            : SaveAnswer::Cancel;
}

void QtDialogs::RememberFile(const std::string& path) {
    if (!path.empty()) {
        folder_ = QFileInfo(QString::fromStdString(path)).absolutePath();
    }
}

void QtDialogs::StartIn(const QString& folder) {
    if (!folder.isEmpty()) {
        folder_ = folder;
    }
}

void QtDialogs::ShowError(const std::string& message) {
    QMessageBox::warning(parent_, "Kellix", QString::fromStdString(message));
}

void QtDialogs::BeginProgress(const std::string& title) {
    progress_ = std::make_unique<QProgressDialog>(QString::fromStdString(title), QString(), 0, 1000,
                                                  parent_);
    progress_->setWindowTitle("Kellix");
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setValue(0);
    progress_->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDialogs::Progress(int64_t done, int64_t total) {
    if (!progress_ || total <= 0) {
        return;
    }
    progress_->setValue(static_cast<int>(done * 1000 / total));
    // Paint, but take no input: the window must not change while the song is rendered.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDialogs::EndProgress() {
    progress_.reset();
}

bool QtDialogs::AskRestoreRecovery() {
    return QMessageBox::question(
               parent_, "Kellix", "Kellix did not end cleanly last time. Restore the unsaved song?",
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

} // namespace kellix
