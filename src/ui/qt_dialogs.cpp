#include "qt_dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QStandardPaths>

namespace kellix {

namespace {

// Before the song has a file the dialogs start in the user's music folder (as xdg-user-dir
// MUSIC names it), or at home without one.
QString MusicFolder() {
    const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
    return !music.isEmpty() && QFileInfo(music).isDir() ? music : QDir::homePath();
}

// A wildcard is a filter, not a name to suggest.
QString SuggestedName(const FileDialogSettings& s) {
    const QString name = QFile::decodeName(s.FileName.c_str());
    return name.contains('*') ? QString() : name;
}

} // namespace

QString QtDialogs::FolderFor(const FileDialogSettings& settings, bool save) const {
    const QFileInfo suggested(SuggestedName(settings));
    if (!suggested.filePath().isEmpty() && suggested.isAbsolute()) {
        return suggested.absolutePath();
    }
    // A new song is never saved into the folder last opened from, which may be the program's
    // own examples.
    if (save) {
        return songFolder_.isEmpty() ? MusicFolder() : songFolder_;
    }
    return folder_;
}

std::optional<std::string> QtDialogs::AskFile(const FileDialogSettings& s, bool save) {
    QFileDialog dialog(parent_);
    // Without a path of its own the dialog opens where the user last was, as a platform file
    // dialog does, not in whatever folder the program was started from.
    dialog.setDirectory(FolderFor(s, save));
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilter(QString::fromStdString(DialogFilter(s.Filter)));
    dialog.setDefaultSuffix(QString::fromStdString(DialogSuffix(s.DefaultExt)));
    const QString name = SuggestedName(s);
    if (!name.isEmpty()) {
        dialog.selectFile(QFileInfo(name).fileName());
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    const QString chosen = dialog.selectedFiles().first();
    folder_ = QFileInfo(chosen).absolutePath();
    return QFile::encodeName(chosen).toStdString();
}

QtDialogs::QtDialogs(QWidget* parent) : parent_(parent), folder_(MusicFolder()) {}

QtDialogs::~QtDialogs() = default;

std::optional<std::string> QtDialogs::OpenFile(const FileDialogSettings& settings) {
    return AskFile(settings, false);
}

std::optional<std::string> QtDialogs::SaveFile(const FileDialogSettings& settings) {
    return AskFile(settings, true);
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
    songFolder_ =
        path.empty() ? QString() : QFileInfo(QFile::decodeName(path.c_str())).absolutePath();
    if (!path.empty()) {
        folder_ = songFolder_;
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

bool QtDialogs::Confirm(const std::string& question) {
    return QMessageBox::question(parent_, "Kellix", QString::fromStdString(question),
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

void QtDialogs::BeginProgress(const std::string& title) {
    progress_ = std::make_unique<QProgressDialog>(QString::fromStdString(title), "Cancel", 0, 1000,
                                                  parent_);
    progress_->setWindowTitle("Kellix");
    // Modal: the window cannot change while the song is rendered, but Cancel can be pressed.
    progress_->setWindowModality(Qt::ApplicationModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoClose(false);
    progress_->setAutoReset(false);
    progress_->setValue(0);
    progress_->show();
    QApplication::processEvents();
}

bool QtDialogs::Progress(int64_t done, int64_t total) {
    if (!progress_) {
        return true;
    }
    if (total > 0) {
        progress_->setValue(static_cast<int>(done * 1000 / total));
    }
    QApplication::processEvents();
    return !progress_->wasCanceled();
}

void QtDialogs::EndProgress() {
    progress_.reset();
}

std::optional<double> QtDialogs::AskTail(double seconds) {
    bool ok = false;
    const double tail =
        QInputDialog::getDouble(parent_, "Save result as..",
                                "Tail: seconds after the song's end, for the sound to ring out",
                                seconds, 0.0, kMaxTailSeconds, 1, &ok);
    return ok ? std::optional<double>(tail) : std::nullopt;
}

bool QtDialogs::AskRestoreRecovery() {
    return QMessageBox::question(
               parent_, "Kellix", "Kellix did not end cleanly last time. Restore the unsaved song?",
               QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

} // namespace kellix
