#include "toolkit/screen_fit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace toolkit {

QPoint movedWithin(const QRect& frame, const QRect& area) {
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

QPoint besidePosition(const QRect& main, QSize size, const QRect& area) {
    QRect frame({main.right() + 1, main.top()}, size);
    if (frame.right() > area.right())
        frame.moveRight(main.left() - 1);
    if (frame.left() < area.left())
        frame.moveLeft(main.left());
    return movedWithin(frame, area);
}

QRect availableArea(const QWidget* window) {
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void placeBeside(QWidget* window, const QWidget* main) {
    const QRect area = availableArea(main);
    if (area.isEmpty())
        return;
    // The frame is known once a window has been shown; before, it counts as none.
    const QSize frame = window->frameGeometry().size() - window->size();
    const QSize inside = window->size().boundedTo(area.size() - frame);
    if (inside != window->size())
        window->resize(inside.expandedTo(window->minimumSizeHint()));
    const QSize outer = window->size() + frame;
    const QRect mainFrame = main ? main->frameGeometry() : QRect(area.topLeft(), QSize());
    window->move(besidePosition(mainFrame, outer, area));
}

void keepWithinScreen(QWidget* window) {
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    const QPoint at = movedWithin(window->frameGeometry(), area);
    if (at != window->frameGeometry().topLeft())
        window->move(at);
}

} // namespace toolkit
