// The code box and "Generator Exe" (F9) with a megabyte of instrument code: showing it, one
// typed key with the repaint that follows, marking and clearing an error line, compiling it,
// compiling and running it, and F9 in the whole window.
#include "window_bench.h"

#include "audio/live_output.h"
#include "script/dllgen.h"
#include "script/exec.h"
#include "script/smplescript.h"
#include "song/sample.h"
#include "song/track.h"
#include "ui/code_editor.h"
#include "ui/main_window.h"
#include "ui/script_highlighter.h"

#include <QApplication>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <string>

using namespace kellix;

namespace {

// About a megabyte of code as people write it: the default code's statements over and over,
// with comments, a comment line and string arguments between them.
std::string MegabyteScript() {
    const std::string group = " GeneratorSampleMode( SM_ADD );\r\n"
                              " Result:=CreateSample( 10000 , 1 ); // the default sample\r\n"
                              "// a short layer, 'quiet' and dull\r\n"
                              " S1 := CreateSample( 100 , 1 ); GConst( S1 , 'half' );\r\n";
    std::string text;
    while (text.size() + group.size() <= (1u << 20)) {
        text += group;
    }
    return text;
}

// What the window needs from the program, made in main.
Scripting* g_scripts = nullptr;
LiveOutput* g_live = nullptr;

const std::string& Script() {
    static const std::string text = MegabyteScript();
    return text;
}

// The code box as the window has it: coloured by the library's names, shown, reporting edits.
struct ShownBox {
    CodeEditor editor;
    std::string reported;
    ShownBox() {
        const std::vector<IdentEntry>& names = g_scripts->Names();
        editor.Highlighter()->SetNames(
            NamesOfTable(names.data(), static_cast<int32_t>(names.size())));
        editor.OnUserEdit = [this](std::string bytes) { reported = std::move(bytes); };
        editor.resize(640, 400);
        editor.show();
        editor.SetCode(Script());
        QApplication::processEvents();
    }
};

void Key(QWidget* widget, Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QCoreApplication::sendEvent(widget, &press);
    QCoreApplication::sendEvent(widget, &release);
    QApplication::processEvents(); // the repaint
}

void BM_CodeBoxShowsMegabyte(benchmark::State& state) {
    ShownBox box;
    for (auto _ : state) {
        box.editor.SetCode(Script());
        QApplication::processEvents();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(Script().size()));
}
BENCHMARK(BM_CodeBoxShowsMegabyte)->Unit(benchmark::kMillisecond);

// Typing in the middle of the code: one key (a letter, then Backspace, in turn, or Enter and
// Backspace, which add and remove a line), each with its report and repaint.
void BM_CodeBoxTypesIntoMegabyte(benchmark::State& state) {
    ShownBox box;
    const bool lines = state.range(0) != 0;
    QTextCursor middle(box.editor.document());
    middle.setPosition(box.editor.document()->characterCount() / 2);
    box.editor.setTextCursor(middle);
    int64_t keys = 0;
    for (auto _ : state) {
        if (keys++ % 2 == 0) {
            Key(&box.editor, lines ? Qt::Key_Return : Qt::Key_X, lines ? "\r" : "x");
        } else {
            Key(&box.editor, Qt::Key_Backspace, "");
        }
    }
    if (box.reported.size() != Script().size() + (keys % 2 == 0 ? 0 : lines ? 2 : 1)) {
        state.SkipWithError("the typed keys were not reported");
    }
}
BENCHMARK(BM_CodeBoxTypesIntoMegabyte)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_CodeBoxMarksErrorInMegabyte(benchmark::State& state) {
    ShownBox box;
    const auto nearEnd = static_cast<std::ptrdiff_t>(Script().size() - 40);
    for (auto _ : state) {
        box.editor.MarkError(nearEnd);
        QApplication::processEvents();
        box.editor.ClearErrorMark();
        QApplication::processEvents();
    }
}
BENCHMARK(BM_CodeBoxMarksErrorInMegabyte)->Unit(benchmark::kMillisecond);

void BM_CompileMegabyte(benchmark::State& state) {
    const std::vector<IdentEntry>& names = g_scripts->Names();
    CompiledScript program;
    CompileResult result;
    for (auto _ : state) {
        result =
            program.Compile(Script().c_str(), names.data(), static_cast<int32_t>(names.size()));
    }
    if (result.ErrorCode != kErrSuccess) {
        state.SkipWithError("the script did not compile");
    }
    state.counters["statements"] = program.StatementCount();
}
BENCHMARK(BM_CompileMegabyte)->Unit(benchmark::kMillisecond);

// Compiling, running (some 6,000 samples of 10,000 frames) and handing the result over.
void BM_ExeScriptMegabyte(benchmark::State& state) {
    SampleSet instrument;
    instrument.Resize(1);
    for (auto _ : state) {
        const ScriptRun run = g_scripts->Run(Script(), instrument.At(0));
        instrument.Set(0, run.Sample);
        if (run.Status != "Ok") {
            state.SkipWithError("the script did not run");
        }
    }
}
BENCHMARK(BM_ExeScriptMegabyte)->Unit(benchmark::kMillisecond);

// F9 in the window on a megabyte of code in the code box, with a line added or taken away
// between the presses: a good run clears the error mark; with a mistake on the last line (1)
// or the first (2) the run fails, the box marks the line and the status bar shows the code
// from the mistake on.
void BM_WindowGeneratorExeMegabyte(benchmark::State& state) {
    const std::string mistake = " Foo( 1 );\r\n";
    const std::string code = state.range(0) == 1   ? Script() + mistake
                             : state.range(0) == 2 ? mistake + Script()
                                                   : Script();
    const std::string codes[2] = {code, code + " GeneratorSampleMode( SM_ADD );\r\n"};
    TKellixForm form(ToolWindows{}, *g_live, *g_scripts);
    form.show();
    QApplication::processEvents();
    int64_t presses = 0;
    for (auto _ : state) {
        const std::string& shown = codes[presses++ % 2];
        state.PauseTiming();
        form.SamCode->SetCode(shown);
        form.SamCode->OnUserEdit(shown);
        QApplication::processEvents();
        state.ResumeTiming();
        form.Model().RunCode();
        QApplication::processEvents();
    }
    if ((form.Model().Status() == "Ok") != (state.range(0) == 0)) {
        state.SkipWithError("unexpected status");
    }
}
BENCHMARK(BM_WindowGeneratorExeMegabyte)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    return kellix::bench::RunWindowBenchmarks(argc, argv, g_scripts, g_live);
}
