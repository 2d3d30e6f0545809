#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace toolkit {

// The smallest move that brings `frame` within `area`; a frame larger than the area keeps its
// top-left corner at the area's.
QPoint movedWithin(const QRect& frame, const QRect& area);

// Where a window of outer size `size` opens beside `main` (both outer rectangles) within
// `area`: to the right of the main window where there is room, else to its left, else over
// it, always inside the area.
QPoint besidePosition(const QRect& main, QSize size, const QRect& area);

// The screen area free of panels and docks that `window` is on (or the primary screen's).
QRect availableArea(const QWidget* window);

// Shrinks a window the program adds to fit the available area and places it beside `main`.
void placeBeside(QWidget* window, const QWidget* main);

// Moves `window` just enough to lie within the available area (its size stays).
void keepWithinScreen(QWidget* window);

// Shows a window the program adds, raised: beside `main` the first time, within the screen;
// afterwards where the user left it, brought back onto the screen if it no longer fits. Not
// activated, it leaves the keyboard with whatever window of the program has it, also where the
// platform activates every window it shows.
void showBeside(QWidget* window, QWidget* main, bool activate);

} // namespace toolkit
