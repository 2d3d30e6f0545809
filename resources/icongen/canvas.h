#pragma once

#include <QImage>
#include <QList>
#include <QPen>

#include <functional>

class QPainter;
class QSvgRenderer;

namespace icongen {

// A picture drawn in design units; the painter it gets is already scaled to the image size.
using Drawing = std::function<void(QPainter&)>;

// Draws on a transparent square image of `size` pixels whose edge is `designSize` units.
QImage render(const Drawing& drawing, qreal designSize, int size);
QList<QImage> renderSizes(const Drawing& drawing, qreal designSize, const QList<int>& sizes);

QImage renderSvg(QSvgRenderer& svg, int size);

// The pen every picture draws its lines with: round ends and joins.
QPen outline(const QColor& colour, qreal width);

} // namespace icongen
