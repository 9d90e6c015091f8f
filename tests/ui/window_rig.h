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

struct WindowRig {
    std::unique_ptr<Scripting> Scripts = StartScripting();
    std::unique_ptr<OutputDevice> Device = MakeSdlDevice();
    std::unique_ptr<LiveOutput> Live = std::make_unique<LiveOutput>(*Device);

    // A main window on this output, shown and active.
    std::unique_ptr<TKellixForm> Show(Dialogs* dialogs, ToolWindows tools = {}) {
        auto form = std::make_unique<TKellixForm>(tools, *Live, *Scripts, dialogs);
        form->show();
        form->activateWindow();
        [[maybe_unused]] bool active = QTest::qWaitForWindowActive(form.get());
        return form;
    }
};

// The notes of one of the shown song's patterns.
inline std::vector<TIdPoint> PatternNotes(TKellixForm& form, int pattern = 0) {
    const SharedArray<TIdPoint>& p = form.Model().Song().Patterns[pattern].Points;
    return {p.begin(), p.end()};
}

// Replaces the whole text of a box by typing, as a person does after selecting it all.
inline void TypeOver(QLineEdit* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
    if (text.isEmpty()) {
        QTest::keyClick(box, Qt::Key_Backspace);
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
