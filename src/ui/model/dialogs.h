#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kellix {

// The settings of a file dialog. The window has one open and one save dialog shared by every
// file command; a command sets what it needs and the rest keeps the value last given.
// Filter is in the form "Description|pattern" ("Text files (*.txt)|*.TXT").
struct FileDialogSettings {
    std::string Filter;
    std::string DefaultExt;
    std::string FileName;
};

// The pattern list of a "Description|pattern" filter for a dialog that matches patterns
// exactly: "Text files (*.txt)|*.TXT" gives "Text files (*.txt *.TXT)", so that both spellings
// are offered, as a case-blind file system would.
std::string DialogFilter(const std::string& filter);
// The extension a dialog appends to a name typed without one: "*.txt" and "txt" give "txt".
std::string DialogSuffix(const std::string& defaultExt);

enum class SaveAnswer { Save, Discard, Cancel };

// The longest tail a render from the window offers.
constexpr double kMaxTailSeconds = 10.0;

// Everything the editor asks the user goes through this seam: the window answers with real
// dialogs, tests with prepared answers.
class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> OpenFile(const FileDialogSettings& settings) = 0;
    virtual std::optional<std::string> SaveFile(const FileDialogSettings& settings) = 0;
    // "Save changes to the song?"
    virtual SaveAnswer AskSaveChanges() = 0;
    // A failed command: the message names the file and the reason.
    virtual void ShowError(const std::string& message) = 0;
    // A yes/no question before a command does something that cannot be undone.
    virtual bool Confirm(const std::string& question) = 0;
    // A long command in progress ("Save result as.."): input to the window is blocked from
    // BeginProgress to EndProgress. Progress returns false once the user cancelled.
    virtual void BeginProgress(const std::string& title) = 0;
    virtual bool Progress(int64_t done, int64_t total) = 0;
    virtual void EndProgress() = 0;
    // A run that did not end cleanly left unsaved work: restore it?
    virtual bool AskRestoreRecovery() = 0;
    // "Save result as..": the seconds rendered after the song's end (0 to kMaxTailSeconds),
    // offering the last choice; nothing when cancelled.
    virtual std::optional<double> AskTail(double seconds) = 0;
};

} // namespace kellix
