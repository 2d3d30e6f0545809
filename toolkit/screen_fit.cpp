#include "toolkit/screen_fit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMainWindow>
#include <QScreen>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <tuple>

namespace toolkit {

QPoint movedWithin(const QRect& frame, const QRect& area) {
    const int x = std::max(area.left(), std::min(frame.left(), area.right() + 1 - frame.width()));
    const int y = std::max(area.top(), std::min(frame.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

namespace {

enum class Side { Right, Below, Left, Above };

qint64 covered(const QRect& frame, const QRect& part) {
    const QRect both = frame.intersected(part);
    return both.isEmpty() ? 0 : qint64(both.width()) * both.height();
}

// The window against one side of `around`: across that side as long as the room there allows,
// from its least to its preferred size; at the area's edge when even its least does not fit.
QRect against(const QRect& around, Side side, QSize size, QSize least, const QRect& area) {
    const bool sideways = side == Side::Right || side == Side::Left;
    const int room = side == Side::Right   ? area.right() - around.right()
                     : side == Side::Left  ? around.left() - area.left()
                     : side == Side::Below ? area.bottom() - around.bottom()
                                           : around.top() - area.top();
    int& length = sideways ? size.rwidth() : size.rheight();
    length = std::clamp(room, sideways ? least.width() : least.height(), length);
    const bool fits = room >= length;
    QPoint at;
    switch (side) {
    case Side::Right:
        at = {fits ? around.right() + 1 : area.right() + 1 - length, around.top()};
        break;
    case Side::Left:
        at = {fits ? around.left() - length : area.left(), around.top()};
        break;
    case Side::Below:
        at = {around.left(), fits ? around.bottom() + 1 : area.bottom() + 1 - length};
        break;
    case Side::Above:
        at = {around.left(), fits ? around.top() - length : area.top()};
        break;
    }
    return {movedWithin(QRect(at, size), area), size};
}

} // namespace

QRect besidePlace(const QRect& main, const QRect& keep, QSize preferred, QSize least,
                  const QRect& area) {
    const QSize size = preferred.boundedTo(area.size());
    least = least.boundedTo(size);
    QRect best;
    std::tuple<qint64, qint64, qint64> bestScore;
    // Beside the whole main window first; beside its panels, over its bars, if need be.
    for (const QRect& around : {main, keep}) {
        for (const Side side : {Side::Right, Side::Below, Side::Left, Side::Above}) {
            const QRect frame = against(around, side, size, least, area);
            const std::tuple score{covered(frame, keep), covered(frame, main),
                                   -qint64(frame.width()) * frame.height()};
            if (best.isNull() || score < bestScore) {
                best = frame;
                bestScore = score;
            }
        }
    }
    return best;
}

QRect cascaded(const QRect& frame, QSize least, const QRect& area) {
    QRect next = frame.translated(kCascadeStep, kCascadeStep);
    next.setRight(std::max(next.left() + least.width() - 1, std::min(next.right(), area.right())));
    next.setBottom(
        std::max(next.top() + least.height() - 1, std::min(next.bottom(), area.bottom())));
    return {movedWithin(next, area), next.size()};
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
QSize frameSize(const QWidget* window, const QWidget* main = nullptr) {
    const QSize frame = window->frameGeometry().size() - window->size();
    if (frame.width() > 0 || frame.height() > 0)
        return frame;
    if (!main && window->parentWidget())
        main = window->parentWidget()->window();
    return main ? main->frameGeometry().size() - main->size() : QSize(0, 0);
}

// What of the main window must stay readable: what its central widget shows (the panels), or
// all of it.
QRect panelsOf(const QWidget* main) {
    const auto* window = qobject_cast<const QMainWindow*>(main);
    const QWidget* inside = window ? window->centralWidget() : nullptr;
    if (!inside)
        return main ? main->frameGeometry() : QRect();
    QRect panels = inside->childrenRect();
    if (panels.isEmpty())
        panels = inside->rect();
    return {inside->mapToGlobal(panels.topLeft()), panels.size()};
}

// Whether another window the program added, on the screen now, has its corner at `at`.
bool placeTaken(const QWidget* window, QPoint at) {
    const QWidgetList shown = QApplication::topLevelWidgets();
    return std::any_of(shown.begin(), shown.end(), [window, at](const QWidget* other) {
        return other != window && other->isVisible() && other->property("placed").toBool() &&
               other->frameGeometry().topLeft() == at;
    });
}

} // namespace

void placeBeside(QWidget* window, const QWidget* main) {
    const QRect area = availableArea(main);
    if (area.isEmpty())
        return;
    // Its least size as it will be shown: styles and fonts may still grow it.
    window->ensurePolished();
    if (window->layout())
        window->layout()->activate();
    const QSize frame = frameSize(window, main);
    const QSize least = window->minimumSizeHint().expandedTo(window->minimumSize()) + frame;
    const QRect mainFrame = main ? main->frameGeometry() : QRect(area.topLeft(), QSize());
    QRect place = besidePlace(mainFrame, main ? panelsOf(main) : QRect(), window->size() + frame,
                              least, area);
    for (int tries = 0; tries < 16 && placeTaken(window, place.topLeft()); ++tries)
        place = cascaded(place, least, area);
    if (place.size() - frame != window->size())
        window->resize(place.size() - frame);
    window->move(place.topLeft());
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
    // What it shows on showing may make it larger than its least size said: within the screen
    // still.
    if (window->layout())
        window->layout()->activate();
    keepWithinScreen(window);
    window->raise();
    if (activate)
        window->activateWindow();
    else if (typing && typing != window)
        typing->activateWindow();
}

} // namespace toolkit
