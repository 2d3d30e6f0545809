#include "buttonpictures.h"

#include "canvas.h"

#include <QPainter>
#include <QPolygonF>

namespace icongen {

Drawing floppyDisk() {
    return [](QPainter& painter) {
        const QColor navy(0x0b, 0x35, 0x66);
        painter.setPen(outline(navy, 1));
        painter.setBrush(QColor(0x1e, 0x63, 0xb5));
        painter.drawPolygon(
            QPolygonF{{2.5, 2.5}, {18.5, 2.5}, {21.5, 5.5}, {21.5, 21.5}, {2.5, 21.5}});

        painter.setPen(outline(QColor(0x45, 0x5a, 0x64), 0.8));
        painter.setBrush(QColor(0xcf, 0xd8, 0xdc));
        painter.drawRect(QRectF(7, 2.5, 10, 7));
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0x45, 0x5a, 0x64));
        painter.drawRect(QRectF(13, 3.8, 2.5, 4.4));

        painter.setPen(outline(navy, 0.8));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(5, 12.5, 14, 9));
        painter.setPen(outline(QColor(0x90, 0xa4, 0xae), 1));
        painter.drawLine(QPointF(7, 15.5), QPointF(17, 15.5));
        painter.drawLine(QPointF(7, 18.5), QPointF(17, 18.5));
    };
}

Drawing magnifyingGlass() {
    return [](QPainter& painter) {
        painter.setPen(outline(QColor(0x5d, 0x40, 0x37), 3.6));
        painter.drawLine(QPointF(15.5, 15.5), QPointF(21, 21));

        const QColor rim(0x37, 0x47, 0x4f);
        painter.setPen(outline(rim, 2.2));
        painter.setBrush(QColor(0xbb, 0xde, 0xfb));
        painter.drawEllipse(QPointF(10, 10), 6.5, 6.5);
        painter.setPen(outline(Qt::white, 1.2));
        painter.setBrush(Qt::NoBrush);
        painter.drawArc(QRectF(6, 6, 8, 8), 100 * 16, 70 * 16);
    };
}

Drawing openFolder() {
    return [](QPainter& painter) {
        const QColor brown(0x9a, 0x6b, 0x00);
        painter.setPen(outline(brown, 1));
        painter.setBrush(QColor(0xf0, 0xb4, 0x29));
        painter.drawPolygon(QPolygonF{{2, 5}, {8.5, 5}, {10.5, 7}, {20, 7}, {20, 19}, {2, 19}});

        painter.setPen(outline(QColor(0x78, 0x90, 0x9c), 0.8));
        painter.setBrush(Qt::white);
        painter.drawRect(QRectF(5.5, 3.5, 11, 11));
        painter.drawLine(QPointF(7.5, 6.5), QPointF(14.5, 6.5));
        painter.drawLine(QPointF(7.5, 9), QPointF(14.5, 9));

        painter.setPen(outline(brown, 1));
        painter.setBrush(QColor(0xff, 0xd5, 0x4f));
        painter.drawPolygon(QPolygonF{{5, 10.5}, {23, 10.5}, {20, 20}, {2, 20}});
    };
}

} // namespace icongen
