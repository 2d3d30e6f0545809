#include "toolkit/panel_frame.h"

#include <QFrame>
#include <QPaintDevice>
#include <QPainter>

namespace toolkit {

bool paintPanelFrame(QPainter& painter, const QFrame& frame) {
    const QFrame::Shadow shadow = frame.frameShadow();
    if (frame.frameShape() != QFrame::Panel || shadow == QFrame::Plain ||
        painter.device()->devicePixelRatio() != 1)
        return false;
    const QRect r = frame.frameRect();
    const int lines = frame.lineWidth();
    if (r.width() <= 0 || r.height() <= 0 || lines <= 0)
        return true;
    const bool sunken = shadow == QFrame::Sunken;
    const QColor light = frame.palette().color(QPalette::Light);
    const QColor dark = frame.palette().color(QPalette::Dark);
    const QColor& upperLeft = sunken ? dark : light;
    const QColor& lowerRight = sunken ? light : dark;
    const int x = r.x(), y = r.y(), w = r.width(), h = r.height();
    // Line i of each side, the same pixels as qDrawShadePanel's lines.
    for (int i = 0; i < lines; ++i) {
        painter.fillRect(QRect(QPoint(x, y + i), QPoint(x + w - 2 - i, y + i)), upperLeft);
        painter.fillRect(QRect(QPoint(x + i, y + lines - i), QPoint(x + i, y + h - 2)), upperLeft);
    }
    for (int i = 0; i < lines; ++i) {
        painter.fillRect(QRect(QPoint(x + i, y + h - 1 - i), QPoint(x + w - 1, y + h - 1 - i)),
                         lowerRight);
        painter.fillRect(
            QRect(QPoint(x + w - 1 - i, y + i), QPoint(x + w - 1 - i, y + h - lines - 1)),
            lowerRight);
    }
    return true;
}

} // namespace toolkit
