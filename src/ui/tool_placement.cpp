#include "tool_placement.h"

#include "tool_window.h"

#include <QScreen>

#include <algorithm>

namespace kellix {

namespace {

constexpr int kGap = 8;
// Below each window: room for a report of a failed number reading, so that a window grown by
// one does not cover the next.
constexpr int kReportRoom = 40;
// A window not yet shown has no frame: its caption is taken as this tall.
constexpr int kCaptionHeight = 30;

} // namespace

std::vector<QPoint> ToolWindowSpots(const QRect& mainFrame, const QRect& screen,
                                    const std::vector<QSize>& frames) {
    int widest = 0;
    for (const QSize& frame : frames) {
        widest = std::max(widest, frame.width());
    }
    int x = mainFrame.right() + 1 + kGap;
    if (x + widest - 1 > screen.right()) {
        const int left = mainFrame.left() - kGap - widest;
        x = left >= screen.left() ? left : std::max(screen.left(), screen.right() + 1 - widest);
    }
    std::vector<QPoint> spots;
    int y = std::max(mainFrame.top(), screen.top());
    for (const QSize& frame : frames) {
        spots.emplace_back(x, y);
        y += frame.height() + kReportRoom;
    }
    return spots;
}

void PlaceBesideOnce(const QWidget& main, const std::vector<ToolWindow*>& windows,
                     ToolWindow* window) {
    std::vector<QSize> frames;
    std::size_t slot = 0;
    for (std::size_t i = 0; i < windows.size(); ++i) {
        const QWidget* w = windows[i];
        frames.push_back(
            w ? w->frameGeometry().size().expandedTo(w->size() + QSize(0, kCaptionHeight))
              : QSize());
        slot = w == window ? i : slot;
    }
    const QScreen* screen = main.screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(main.frameGeometry());
    window->PlaceOnce(ToolWindowSpots(main.frameGeometry(), available, frames)[slot]);
}

} // namespace kellix
