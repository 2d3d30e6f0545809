#include "history/charts/rose_view.h"

#include <QLabel>
#include <QtCharts/QAreaSeries>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QPolarChart>
#include <QtCharts/QValueAxis>

#include <algorithm>
#include <cmath>

namespace history {

namespace {

// From a light breeze to a gale: cool to warm.
const std::array<QColor, RosePicture::kBands> kBandColours{QColor(120, 190, 230), QColor(60, 150, 90),
                                                        QColor(240, 200, 60),  QColor(240, 140, 40),
                                                        QColor(220, 70, 40),   QColor(140, 20, 60)};

} // namespace

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

void RoseView::setPicture(const RosePicture& picture) {
    auto* polar = static_cast<QPolarChart*>(chart());
    polar->removeAllSeries();
    for (QAbstractAxis* axis : polar->axes()) {
        polar->removeAxis(axis);
        delete axis;
    }
    polar->setTitle(picture.title);

    // Each band a wedge per compass point, from the top of the bands below it to its own;
    // north straddles 0°, so its two halves open and close the round.
    std::array<double, RosePicture::kSectors> below{};
    double highest = 0;
    const double half = 360.0 / RosePicture::kSectors / 2;
    QStringList description;
    for (int band = 0; band < RosePicture::kBands; ++band) {
        auto* upper = new QLineSeries;
        auto* lower = new QLineSeries;
        const auto wedge = [&](double from, double to, double top, double bottom) {
            upper->append(from, top);
            upper->append(to, top);
            lower->append(from, bottom);
            lower->append(to, bottom);
        };
        std::array<double, RosePicture::kSectors> top{};
        for (int sector = 0; sector < RosePicture::kSectors; ++sector)
            top[std::size_t(sector)] = below[std::size_t(sector)] + picture.shares[std::size_t(sector)][std::size_t(band)];
        wedge(0, half, top[0], below[0]);
        for (int sector = 1; sector < RosePicture::kSectors; ++sector)
            wedge(sector * 2 * half - half, sector * 2 * half + half, top[std::size_t(sector)],
                  below[std::size_t(sector)]);
        wedge(360 - half, 360, top[0], below[0]);
        // The area does not own its edges: they go with it as its children.
        auto* area = new QAreaSeries(upper, lower);
        upper->setParent(area);
        lower->setParent(area);
        area->setName(picture.bandNames.value(band));
        polar->addSeries(area);
        area->setColor(kBandColours[std::size_t(band)]);
        // No border: a band with nothing at a point would still draw one around the rest.
        area->setPen(Qt::NoPen);
        below = top;
        highest = std::max(highest, *std::max_element(top.begin(), top.end()));
    }
    for (int sector = 0; sector < RosePicture::kSectors; ++sector)
        description << QStringLiteral("%1 %2").arg(picture.compassNames.value(sector),
                                                   picture.pointTexts.value(sector));

    auto* angle = new QCategoryAxis;
    angle->setRange(0, 360);
    angle->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    for (int sector = 1; sector < RosePicture::kSectors; ++sector)
        angle->append(picture.compassNames.value(sector), sector * 2 * half);
    angle->append(picture.compassNames.value(0), 360);
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
    calm_->setText(QStringLiteral("Calmaria\n%1").arg(picture.calmText));
    calm_->adjustSize();
    setAccessibleDescription(picture.title + QStringLiteral(": ") +
                             description.join(QStringLiteral(", ")) +
                             QStringLiteral("; Calmaria ") + picture.calmText);
    resizeEvent(nullptr);
}

void RoseView::resizeEvent(QResizeEvent* event) {
    if (event)
        QChartView::resizeEvent(event);
    const QPoint at = mapFromScene(chart()->mapToScene(chart()->plotArea().center()));
    calm_->move(at - QPoint(calm_->width() / 2, calm_->height() / 2));
}

} // namespace history
