#include "canvas.h"

#include <QPainter>
#include <QSvgRenderer>

namespace icongen {

namespace {

QImage blankImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

} // namespace

QImage render(const Drawing& drawing, qreal designSize, int size) {
    QImage image = blankImage(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / designSize, size / designSize);
    drawing(painter);
    return image;
}

QList<QImage> renderSizes(const Drawing& drawing, qreal designSize, const QList<int>& sizes) {
    QList<QImage> images;
    for (int size : sizes)
        images.append(render(drawing, designSize, size));
    return images;
}

QImage renderSvg(QSvgRenderer& svg, int size) {
    QImage image = blankImage(size);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    svg.render(&painter);
    return image;
}

QPen outline(const QColor& colour, qreal width) {
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

} // namespace icongen
