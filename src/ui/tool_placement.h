#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

#include <vector>

class QWidget;

namespace kellix {

class ToolWindow;

// Where the tool windows go, each in a place of its own: one under the other, in the order
// given, in a column right of the main window's frame; left of it when the screen has no room
// on the right; at the screen's right edge when it has room on neither side. The sizes are the
// windows' frames; the column leaves room under each for a number report.
std::vector<QPoint> ToolWindowSpots(const QRect& mainFrame, const QRect& screen,
                                    const std::vector<QSize>& frames);

// Places the window at its spot among the windows (in that order) beside the main window's
// frame as it is now, unless the window was placed before.
void PlaceBesideOnce(const QWidget& main, const std::vector<ToolWindow*>& windows,
                     ToolWindow* window);

} // namespace kellix
