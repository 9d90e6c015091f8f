#pragma once

// Shared pieces of the window's tests: prepared dialog answers, a silent sound device, and a
// temporary folder.

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
        return Take(OpenAnswers);
    }
    std::optional<std::string> SaveFile(const FileDialogSettings& s) override {
        SaveAsked.push_back(s);
        return Take(SaveAnswers);
    }
    SaveAnswer AskSaveChanges() override {
        ++SaveChangesAsked;
        if (SaveChangesAnswers.empty()) {
            return SaveAnswer::Cancel;
        }
        SaveAnswer a = SaveChangesAnswers.front();
        SaveChangesAnswers.pop_front();
        return a;
    }
    void ShowError(const std::string& message) override { Errors.push_back(message); }
    void BeginProgress(const std::string&) override { InProgress = true; }
    void Progress(int64_t, int64_t) override { ++ProgressCalls; }
    void EndProgress() override { InProgress = false; }
    bool AskRestoreRecovery() override {
        if (RestoreAnswers.empty()) {
            return false;
        }
        const bool answer = RestoreAnswers.front();
        RestoreAnswers.pop_front();
        return answer;
    }

  private:
    static std::optional<std::string> Take(std::deque<std::optional<std::string>>& q) {
        if (q.empty()) {
            return std::nullopt;
        }
        std::optional<std::string> a = q.front();
        q.pop_front();
        return a;
    }
};

// A sound device that plays nothing by itself: the live mixer keeps its voices until a test
// mixes them.
struct SilentDevice final : OutputDevice {
    bool Open() override { return true; }
    bool CreateStream() override { return true; }
    void Play() override {}
    void Stop() override {}
    void Close() override {}
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
