#include "panelicons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

namespace icongen {

namespace {

struct Ink {
    QColor fill;
    QColor line;
};

const Ink kGreen{QColor(0x43, 0xa0, 0x47), QColor(0x1b, 0x5e, 0x20)};
const Ink kYellow{QColor(0xfd, 0xd8, 0x35), QColor(0xa6, 0x8a, 0x00)};
const Ink kOrange{QColor(0xfb, 0x8c, 0x00), QColor(0xb3, 0x47, 0x00)};
const Ink kRed{QColor(0xe5, 0x39, 0x35), QColor(0xc6, 0x28, 0x28)};
const Ink kAmber{QColor(0xff, 0x98, 0x00), QColor(0xbf, 0x36, 0x0c)};
const Ink kBlue{QColor(0x1e, 0x88, 0xe5), QColor(0x0d, 0x47, 0xa1)};
const Ink kGrey{QColor(0xb0, 0xb0, 0xb0), QColor(0x61, 0x61, 0x61)};
const QColor kSignRed(0xd3, 0x2f, 0x2f);

void fillShape(QPainter& painter, const QPolygonF& shape, const Ink& ink, qreal lineWidth) {
    painter.setPen(outline(ink.line, lineWidth));
    painter.setBrush(ink.fill);
    painter.drawPolygon(shape);
}

// A right-pointing arrow on the line y = centreY; mirrored, it points left.
QPolygonF arrow(qreal centreY, bool pointsLeft) {
    QPolygonF shape{{3, centreY - 2.5},  {18, centreY - 2.5}, {18, centreY - 7.5}, {29, centreY},
                    {18, centreY + 7.5}, {18, centreY + 2.5}, {3, centreY + 2.5}};
    if (pointsLeft) {
        for (QPointF& point : shape)
            point.setX(32 - point.x());
    }
    return shape;
}

// The white under-stroke keeps a red mark readable where it crosses dark lines.
void redMark(QPainter& painter, const QPainterPath& mark, qreal width) {
    painter.setBrush(Qt::NoBrush);
    painter.setPen(outline(Qt::white, width + 2));
    painter.drawPath(mark);
    painter.setPen(outline(kSignRed, width));
    painter.drawPath(mark);
}

void drawBattery(QPainter& painter, const Ink& ink, int quarters, const QColor& inside) {
    painter.setPen(outline(ink.line, 2));
    painter.setBrush(inside);
    painter.drawRoundedRect(QRectF(2, 8.5, 25, 15), 2.5, 2.5);
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink.line);
    painter.drawRoundedRect(QRectF(27, 12.5, 3, 7), 1, 1);
    painter.setBrush(ink.fill);
    for (int bar = 0; bar < quarters; ++bar)
        painter.drawRect(QRectF(4.75 + 5 * bar, 11, 4.25, 10));
}

QPolygonF speaker(qreal left, qreal top, qreal scale) {
    QPolygonF shape{{0, 6}, {5, 6}, {12, 0}, {12, 20}, {5, 14}, {0, 14}};
    for (QPointF& point : shape)
        point = QPointF(left + point.x() * scale, top + point.y() * scale);
    return shape;
}

void drawWaves(QPainter& painter, QPointF centre, const QColor& colour,
               std::initializer_list<qreal> radii, std::initializer_list<int> startsDeg) {
    constexpr int kSpanDeg = 80;
    painter.setPen(outline(colour, 2.5));
    painter.setBrush(Qt::NoBrush);
    for (qreal radius : radii) {
        const QRectF circle(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        for (int startDeg : startsDeg)
            painter.drawArc(circle, startDeg * 16, kSpanDeg * 16);
    }
}

const Ink& batteryInk(int quarters) {
    switch (quarters) {
    case 0:
        return kRed;
    case 1:
        return kOrange;
    case 2:
        return kYellow;
    default:
        return kGreen;
    }
}

} // namespace

Drawing communicationIcon(LinkLook look) {
    return [look](QPainter& painter) {
        const Ink& ink = look == LinkLook::Good ? kGreen : kGrey;
        fillShape(painter, arrow(10, false), ink, 1.5);
        fillShape(painter, arrow(22, true), ink, 1.5);
        if (look == LinkLook::Lost) {
            QPainterPath cross;
            cross.moveTo(9, 9);
            cross.lineTo(23, 23);
            cross.moveTo(23, 9);
            cross.lineTo(9, 23);
            redMark(painter, cross, 3.5);
        }
    };
}

Drawing batteryIcon(int quarters) {
    return [quarters](QPainter& painter) {
        drawBattery(painter, batteryInk(quarters), quarters, Qt::white);
    };
}

Drawing idleBatteryIcon() {
    return [](QPainter& painter) { drawBattery(painter, kGrey, 0, QColor(0xf2, 0xf2, 0xf2)); };
}

Drawing speakerIcon(bool sounding) {
    return [sounding](QPainter& painter) {
        if (sounding) {
            fillShape(painter, speaker(3, 6, 1), kAmber, 1.5);
            drawWaves(painter, {15, 16}, kAmber.line, {6, 11}, {-40});
            return;
        }
        fillShape(painter, speaker(8, 8.5, 0.8), kGrey, 1.5);
        QPainterPath sign;
        sign.addEllipse(QPointF(16, 16), 12.5, 12.5);
        sign.moveTo(7.2, 7.2);
        sign.lineTo(24.8, 24.8);
        redMark(painter, sign, 3);
    };
}

Drawing radioIcon(bool transmitting) {
    return [transmitting](QPainter& painter) {
        const Ink& ink = transmitting ? kBlue : kGrey;
        painter.setPen(outline(ink.line, 1.2));
        painter.setBrush(ink.fill);
        painter.drawEllipse(QPointF(16, 16), 5.5, 5.5);
        if (transmitting)
            drawWaves(painter, {16, 16}, ink.fill, {9, 13.5}, {-40, 140});
    };
}

} // namespace icongen
