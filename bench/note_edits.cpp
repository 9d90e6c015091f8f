// The piano roll's edits through the editor model, as a key press gives them: a move of 1000
// selected notes in a pattern of 2000 (the other 1000 another instrument's), with its undo step
// and the selection repaired, and a paste of 1000 notes from their clipboard text.
#include "silent_device.h"

#include "script/dllgen.h"
#include "ui/model/clipboard_text.h"
#include "ui/model/editor_model.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

namespace {

using namespace kellix;

struct NoView final : EditorView {
    void DrawSample(const SampleBlock*) override {}
    void Refresh(uint32_t) override {}
};

struct NoDialogs final : Dialogs {
    std::optional<std::string> OpenFile(const FileDialogSettings&) override { return {}; }
    std::optional<std::string> SaveFile(const FileDialogSettings&) override { return {}; }
    SaveAnswer AskSaveChanges() override { return SaveAnswer::Discard; }
    void ShowError(const std::string&) override {}
    bool Confirm(const std::string&) override { return false; }
    void BeginProgress(const std::string&) override {}
    bool Progress(int64_t, int64_t) override { return true; }
    void EndProgress() override {}
    bool AskRestoreRecovery() override { return false; }
    std::optional<double> AskTail(double) override { return {}; }
};

// A model showing pattern 1 with 1000 notes of instrument 2 and 1000 of instrument 1, the
// latter selected.
struct Editor {
    NoView view;
    NoDialogs dialogs;
    bench::SilentDevice device;
    LiveOutput live{device};
    std::unique_ptr<Scripting> scripts = StartScripting();
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "kellix-bench-notes";
    EditorModel model{view, dialogs, live, *scripts,
                      ModelFiles{(folder / "state").string(), (folder / "recent.txt").string()}};

    Editor() {
        model.Create();
        std::vector<TIdPoint> notes;
        for (int32_t i = 0; i < 1000; ++i) {
            notes.push_back({i, (i * 7) % 60, 0, 256, 128});
        }
        const std::string text = NotesClipText(notes);
        model.SelectInstrument(1);
        model.PasteNotes(text, 0);
        model.SelectInstrument(0);
        model.PasteNotes(text, 0);
    }
    ~Editor() {
        model.Destroy();
        std::filesystem::remove_all(folder);
    }
};

void BM_MoveSelection(benchmark::State& state) {
    Editor editor;
    int32_t step = 1;
    for (auto _ : state) {
        editor.model.MoveSelection(step, 0);
        step = -step;
    }
    state.counters["selected"] = static_cast<double>(editor.model.Selected().Notes.size());
}
BENCHMARK(BM_MoveSelection)->Unit(benchmark::kMicrosecond);

void BM_Paste1000(benchmark::State& state) {
    Editor editor;
    const std::string text = editor.model.SelectionText();
    for (auto _ : state) {
        editor.model.PasteNotes(text, 0);
    }
}
BENCHMARK(BM_Paste1000)->Unit(benchmark::kMicrosecond);

} // namespace
