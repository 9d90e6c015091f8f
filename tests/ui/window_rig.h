#pragma once

// What a window needs from the program: the generator library's scripting and a live output on
// the SDL sound device (the dummy driver in the tests' environment); and the window's test steps
// shared by the window's test programs.

#include "pixels.h"
#include "ui_fixture.h"

#include "audio/device/sdl_output.h"
#include "audio/live_output.h"
#include "script/dllgen.h"
#include "ui/image_view.h"
#include "ui/main_window.h"

#include <QtTest>
#include <QtWidgets>

#include <memory>
#include <vector>

namespace kellix::test {

// Sixty seconds of sound: even at the top tone its voices outlast every check, while the SDL
// dummy device plays on and the worker mixes.
constexpr const char* kLong = " Result:=CreateSample( 2646000 , 1 );";

struct WindowRig {
    std::unique_ptr<Scripting> Scripts = StartScripting();
    std::unique_ptr<OutputDevice> Device = MakeSdlDevice();
    std::unique_ptr<LiveOutput> Live = std::make_unique<LiveOutput>(*Device);
    PreparedDialogs Ask;
    std::unique_ptr<TKellixForm> Form; // the window shown, closed by the tests' cleanup

    // A main window on this output, shown and active, in place of the one before.
    TKellixForm& Show(ToolWindows tools = {}) {
        Form.reset();
        Form = std::make_unique<TKellixForm>(tools, *Live, *Scripts, &Ask);
        Form->show();
        Form->activateWindow();
        [[maybe_unused]] bool active = QTest::qWaitForWindowActive(Form.get());
        return *Form;
    }
    // The notes of one of the shown song's patterns.
    std::vector<TIdPoint> Notes(int pattern = 0) const {
        const SharedArray<TIdPoint>& p = Form->Model().Song().Patterns[pattern].Points;
        return {p.begin(), p.end()};
    }
    int Voices() const { return static_cast<int>(Live->Voices().size()); }
};

// F9 runs the code once the window is back in its event loop.
inline void PressF9(TKellixForm& f) {
    QSignalSpy ran(&f, &TKellixForm::GeneratorRan);
    QTest::keyClick(&f, Qt::Key_F9);
    QVERIFY(ran.wait(5000));
}

// Replaces the whole text of a box by typing, as a person does after selecting it all, then
// presses the key given (Return commits a count).
inline void TypeOver(QLineEdit* box, const QString& text, Qt::Key then = Qt::Key_unknown) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
    }
    if (then != Qt::Key_unknown) {
        QTest::keyClick(box, then);
    }
}

inline void MouseMove(QWidget* to, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, at, to->mapToGlobal(at), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(to, &move);
}

inline void ClickRow(QListView* list, int row) {
    const QRect r = list->visualRect(list->model()->index(row, 0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
}

} // namespace kellix::test
