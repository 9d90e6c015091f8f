#pragma once

// Shared pieces of the window's tests: prepared dialog answers and a temporary folder.

#include "test_blocks.h"

#include "audio/live_output.h"
#include "ui/model/dialogs.h"

#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

namespace kellix::test {

// Answers every question from prepared queues and records what was asked; an empty queue
// cancels.
struct PreparedDialogs final : Dialogs {
    std::deque<std::optional<std::string>> OpenAnswers;
    std::deque<std::optional<std::string>> SaveAnswers;
    std::deque<SaveAnswer> SaveChangesAnswers;
    std::deque<bool> RestoreAnswers;
    std::vector<FileDialogSettings> OpenAsked;
    std::vector<FileDialogSettings> SaveAsked;
    int SaveChangesAsked = 0;
    std::vector<std::string> Errors;
    int ProgressCalls = 0;
    bool InProgress = false;

    std::optional<std::string> OpenFile(const FileDialogSettings& s) override {
        OpenAsked.push_back(s);
        return Take(OpenAnswers, std::optional<std::string>());
    }
    std::optional<std::string> SaveFile(const FileDialogSettings& s) override {
        SaveAsked.push_back(s);
        return Take(SaveAnswers, std::optional<std::string>());
    }
    SaveAnswer AskSaveChanges() override {
        ++SaveChangesAsked;
        return Take(SaveChangesAnswers, SaveAnswer::Cancel);
    }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    void BeginProgress(const std::string&) override { InProgress = true; }
    void Progress(int64_t, int64_t) override { ++ProgressCalls; }
    void EndProgress() override { InProgress = false; }
    bool AskRestoreRecovery() override { return Take(RestoreAnswers, false); }

  private:
    // The next prepared answer, or the given one when none is left.
    template <class T> static T Take(std::deque<T>& answers, T none) {
        if (answers.empty()) {
            return none;
        }
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A folder of its own under the system's temporary folder, removed at the end.
struct TempFolder {
    std::filesystem::path Path;
    TempFolder() {
        static std::atomic<int> counter{0};
        Path = std::filesystem::temp_directory_path() /
               ("kellix-ui-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(Path);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string operator/(const std::string& name) const { return (Path / name).string(); }
};

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

} // namespace kellix::test
