#pragma once

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace toolkit {

// The smallest move that brings `frame` within `area`; a frame larger than the area keeps its
// top-left corner at the area's.
QPoint movedWithin(const QRect& frame, const QRect& area);

// Where a window the program adds opens (its outer rectangle) beside `main` within `area`,
// leaving `keep` (the main window's panels) readable: at its preferred size beside the main
// window where there is room; beside it and smaller, down to `least`, where that is what there
// is; and where even its least size covers part of `keep`, at the side where it covers least.
// Among places that cover nothing, the largest wins.
QRect besidePlace(const QRect& main, const QRect& keep, QSize preferred, QSize least,
                  const QRect& area);

// One step of a cascade from `frame`: moved down and right, shrunk down to `least` to stay
// within `area`, so that the windows under it keep their title bars in view.
QRect cascaded(const QRect& frame, QSize least, const QRect& area);
inline constexpr int kCascadeStep = 28;

// The screen area free of panels and docks that `window` is on (or the primary screen's).
QRect availableArea(const QWidget* window);

// Places a window the program adds beside `main` and sizes it, as besidePlace says; over the
// other added windows already shown, it cascades.
void placeBeside(QWidget* window, const QWidget* main);

// Moves `window` just enough to lie within the available area (its size stays).
void keepWithinScreen(QWidget* window);

// Shows a window the program adds, raised: beside `main` the first time, within the screen;
// afterwards where the user left it, brought back onto the screen if it no longer fits. Not
// activated, it leaves the keyboard with whatever window of the program has it, also where the
// platform activates every window it shows.
void showBeside(QWidget* window, QWidget* main, bool activate);

} // namespace toolkit
