#pragma once

// Prepared dialog answers for the window's tests.

#include "test_blocks.h"
#include "test_files.h"

#include "audio/live_output.h"
#include "ui/model/dialogs.h"

#include <deque>
#include <functional>
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
    std::deque<bool> ConfirmAnswers;
    std::vector<std::string> Confirmed; // the questions asked
    // Runs while the restore question is open (another window looking meanwhile).
    std::function<void()> WhileAskingRestore;
    std::vector<FileDialogSettings> OpenAsked;
    std::vector<FileDialogSettings> SaveAsked;
    int SaveChangesAsked = 0;
    std::vector<std::string> Errors;
    int ProgressCalls = 0;
    int CancelAtProgress = -1; // the Progress call (from 1) at which Cancel is pressed
    bool InProgress = false;
    // The tails chosen for "Save result as.."; an empty queue keeps the one offered.
    std::deque<std::optional<double>> TailAnswers;
    std::vector<double> TailsOffered;

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
    bool Confirm(const std::string& question) override {
        Confirmed.push_back(question);
        return Take(ConfirmAnswers, false);
    }
    void BeginProgress(const std::string&) override { InProgress = true; }
    bool Progress(int64_t, int64_t) override { return ++ProgressCalls != CancelAtProgress; }
    void EndProgress() override { InProgress = false; }
    bool AskRestoreRecovery() override {
        if (WhileAskingRestore) {
            WhileAskingRestore();
        }
        return Take(RestoreAnswers, false);
    }

    std::optional<double> AskTail(double seconds) override {
        TailsOffered.push_back(seconds);
        return Take(TailAnswers, std::optional<double>(seconds));
    }

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

} // namespace kellix::test
