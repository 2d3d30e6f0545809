#include "toolkit/screen_fit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QVariant>
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

namespace {

// The window's frame; before a window has been shown its frame is not known yet, and the
// main window's (shown first) stands for it.
QSize frameSize(const QWidget* window) {
    const QSize frame = window->frameGeometry().size() - window->size();
    if (frame.width() > 0 || frame.height() > 0)
        return frame;
    const QWidget* main = window->parentWidget() ? window->parentWidget()->window() : nullptr;
    return main ? main->frameGeometry().size() - main->size() : QSize(0, 0);
}

} // namespace

void placeBeside(QWidget* window, const QWidget* main) {
    const QRect area = availableArea(main);
    if (area.isEmpty())
        return;
    const QSize frame = frameSize(window);
    const QSize inside = window->size().boundedTo(area.size() - frame);
    if (inside != window->size())
        window->resize(inside);
    const QRect mainFrame = main ? main->frameGeometry() : QRect(area.topLeft(), QSize());
    window->move(besidePosition(mainFrame, window->size() + frame, area));
}

void keepWithinScreen(QWidget* window) {
    const QRect area = availableArea(window);
    if (area.isEmpty())
        return;
    const QRect frame(window->frameGeometry().topLeft(), window->size() + frameSize(window));
    const QPoint at = movedWithin(frame, area);
    if (at != frame.topLeft())
        window->move(at);
}

void showBeside(QWidget* window, QWidget* main, bool activate) {
    if (!window->property("placed").toBool()) {
        window->setProperty("placed", true);
        placeBeside(window, main);
    } else if (!window->isVisible()) {
        keepWithinScreen(window);
    }
    QWidget* const typing = QApplication::activeWindow();
    window->setAttribute(Qt::WA_ShowWithoutActivating, !activate);
    window->show();
    window->raise();
    if (activate)
        window->activateWindow();
    else if (typing && typing != window)
        typing->activateWindow();
}

} // namespace toolkit
