#include "history/charts.h"

#include <QLabel>
#include <QWheelEvent>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QPolarChart>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace history {

namespace {

// From a light breeze to a gale: cool to warm.
const std::array<QColor, WindRose::kBands> kBandColours{QColor(120, 190, 230), QColor(60, 150, 90),
                                                        QColor(240, 200, 60),  QColor(240, 140, 40),
                                                        QColor(220, 70, 40),   QColor(140, 20, 60)};

QString percentText(double percent) {
    return QString::number(percent, 'f', 1).replace(u'.', u',') + QStringLiteral(" %");
}

} // namespace

TrendView::TrendView(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("Tendencia"));
    setAccessibleName(QStringLiteral("Tendência"));
    setRenderHint(QPainter::Antialiasing);
    chart()->legend()->setAlignment(Qt::AlignBottom);
}

void TrendView::setData(const QList<QPointF>& speed, const QList<QPointF>& preset1,
                        const QList<QPointF>& preset2, const QDateTime& from, const QDateTime& to,
                        double factor, const QString& unit, const QString& title) {
    QChart* c = chart();
    c->removeAllSeries();
    // A removed axis is the caller's again.
    for (QAbstractAxis* axis : c->axes()) {
        c->removeAxis(axis);
        delete axis;
    }
    c->setTitle(title);
    double highest = 0;
    const auto line = [&](const QList<QPointF>& points, const QString& name) {
        QList<QPointF> scaled = points;
        for (QPointF& point : scaled) {
            point.setY(point.y() * factor / 10.0);
            highest = std::max(highest, point.y());
        }
        auto* series = new QLineSeries;
        series->setName(name);
        series->replace(scaled);
        c->addSeries(series);
        return series;
    };
    line(speed, QStringLiteral("Velocidade"));
    line(preset1, QStringLiteral("Preset 1"))->setPen(QPen(QColor(230, 140, 0), 1.5, Qt::DashLine));
    line(preset2, QStringLiteral("Preset 2"))->setPen(QPen(QColor(215, 0, 0), 1.5, Qt::DashLine));

    auto* time = new QDateTimeAxis;
    time->setFormat(QStringLiteral("HH:mm"));
    time->setTitleText(QStringLiteral("Hora"));
    auto* value = new QValueAxis;
    value->setTitleText(unit.isEmpty() ? QStringLiteral("Velocidade")
                                       : QStringLiteral("Velocidade (%1)").arg(unit));
    value->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(time, Qt::AlignBottom);
    c->addAxis(value, Qt::AlignLeft);
    for (QAbstractSeries* series : c->series()) {
        series->attachAxis(time);
        series->attachAxis(value);
    }
    // Every line in sight: the speeds and both preset levels.
    value->setRange(0, std::max(1.0, highest * 1.08));
    value->applyNiceNumbers();
    time->setRange(from, to);
    time->setTickCount(9); // every 3 hours over a day
    setAccessibleDescription(title);
}

int TrendView::pointsShown() const {
    const auto all = chart()->series();
    return all.isEmpty() ? 0 : int(static_cast<QLineSeries*>(all.front())->count());
}

void TrendView::resetZoom() {
    chart()->zoomReset();
}

void TrendView::wheelEvent(QWheelEvent* event) {
    const QRectF area = chart()->plotArea();
    const double factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
    const double x = std::clamp(event->position().x(), area.left(), area.right());
    QRectF zoomed = area;
    zoomed.setWidth(area.width() / factor);
    zoomed.moveLeft(x - (x - area.left()) / factor);
    chart()->zoomIn(zoomed);
    event->accept();
}

RoseView::RoseView(QWidget* parent) : QChartView(new QPolarChart, parent) {
    setObjectName(QStringLiteral("RosaDosVentos"));
    setAccessibleName(QStringLiteral("Rosa dos ventos"));
    setRenderHint(QPainter::Antialiasing);
    chart()->legend()->setAlignment(Qt::AlignRight);
    calm_ = new QLabel(this);
    calm_->setObjectName(QStringLiteral("Calmaria"));
    calm_->setAlignment(Qt::AlignCenter);
    calm_->setAutoFillBackground(true);
    calm_->setMargin(2);
    calm_->setAttribute(Qt::WA_TransparentForMouseEvents);
}

void RoseView::setData(const WindRose& rose, const QStringList& bandNames, const QString& title) {
    auto* polar = static_cast<QPolarChart*>(chart());
    polar->removeAllSeries();
    for (QAbstractAxis* axis : polar->axes()) {
        polar->removeAxis(axis);
        delete axis;
    }
    polar->setTitle(title);

    // Each band a wedge per compass point, from the top of the bands below it to its own;
    // north straddles 0°, so its two halves open and close the round.
    std::array<double, WindRose::kSectors> below{};
    double highest = 0;
    const double half = 360.0 / WindRose::kSectors / 2;
    QStringList description;
    for (int band = 0; band < WindRose::kBands; ++band) {
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        const auto wedge = [&](double from, double to, double top, double bottom) {
            upper->append(from, top);
            upper->append(to, top);
            lower->append(from, bottom);
            lower->append(to, bottom);
        };
        std::array<double, WindRose::kSectors> top{};
        for (int sector = 0; sector < WindRose::kSectors; ++sector)
            top[std::size_t(sector)] = below[std::size_t(sector)] + rose.share(sector, band);
        wedge(0, half, top[0], below[0]);
        for (int sector = 1; sector < WindRose::kSectors; ++sector)
            wedge(sector * 2 * half - half, sector * 2 * half + half, top[std::size_t(sector)],
                  below[std::size_t(sector)]);
        wedge(360 - half, 360, top[0], below[0]);
        // The area does not own its edges: they go with it as its children.
        auto* area = new QAreaSeries(upper, lower);
        upper->setParent(area);
        lower->setParent(area);
        area->setName(bandNames.value(band));
        polar->addSeries(area);
        area->setColor(kBandColours[std::size_t(band)]);
        // No border: a band with nothing at a point would still draw one around the rest.
        area->setPen(Qt::NoPen);
        below = top;
        highest = std::max(highest, *std::max_element(top.begin(), top.end()));
    }
    for (int sector = 0; sector < WindRose::kSectors; ++sector)
        description << QStringLiteral("%1 %2").arg(compassNames()[sector],
                                                   percentText(below[std::size_t(sector)]));

    auto* angle = new QCategoryAxis;
    angle->setRange(0, 360);
    angle->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (int sector = 1; sector < WindRose::kSectors; ++sector)
        angle->append(compassNames()[sector], sector * 2 * half);
    angle->append(compassNames()[0], 360);
    auto* radius = new QValueAxis;
    const double step = highest > 50 ? 10.0 : 5.0;
    const double outer = std::max(step, std::ceil(highest / step) * step);
    radius->setRange(0, outer);
    radius->setTickCount(int(outer / step) + 1);
    radius->setLabelFormat(QStringLiteral("%.0f %%"));
    polar->addAxis(angle, QPolarChart::PolarOrientationAngular);
    polar->addAxis(radius, QPolarChart::PolarOrientationRadial);
    for (QAbstractSeries* series : polar->series()) {
        series->attachAxis(angle);
        series->attachAxis(radius);
    }
    calm_->setText(QStringLiteral("Calmaria\n%1").arg(percentText(rose.calmShare())));
    calm_->adjustSize();
    setAccessibleDescription(title + QStringLiteral(": ") + description.join(QStringLiteral(", ")) +
                             QStringLiteral("; Calmaria ") + percentText(rose.calmShare()));
    resizeEvent(nullptr);
}

void RoseView::resizeEvent(QResizeEvent* event) {
    if (event)
        QChartView::resizeEvent(event);
    const QPoint at = mapFromScene(chart()->mapToScene(chart()->plotArea().center()));
    calm_->move(at - QPoint(calm_->width() / 2, calm_->height() / 2));
}

} // namespace history
