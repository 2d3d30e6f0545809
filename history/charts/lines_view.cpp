#include "history/charts/lines_view.h"

#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace history {

LinesView::LinesView(QWidget* parent) : TimeChartView(parent) {
    chart()->legend()->setAlignment(Qt::AlignBottom);
    value_ = new QValueAxis;
    value_->setLabelFormat(QStringLiteral("%.0f"));
    value_->setTitleText(QStringLiteral("Velocidade"));
    chart()->addAxis(value_, Qt::AlignLeft);
}

void LinesView::setPicture(const LinesPicture& picture) {
    chart()->removeAllSeries();
    double highest = 0;
    for (const LinesPicture::Line& line : picture.lines) {
        bool first = line.inLegend;
        for (const QList<QPointF>& run : line.runs) {
            auto* series = new QLineSeries;
            series->setName(line.name);
            series->replace(run);
            series->setPointsVisible(run.size() == 1);
            chart()->addSeries(series);
            series->attachAxis(timeAxis());
            series->attachAxis(value_);
            series->setPen(line.pen);
            // One entry in the legend for the whole line.
            chart()->legend()->markers(series).front()->setVisible(first);
            first = false;
            for (const QPointF& point : run)
                highest = std::max(highest, point.y());
        }
    }
    value_->setTitleText(picture.valueTitle);
    value_->setRange(0, std::max(1.0, highest * 1.08));
    value_->applyNiceNumbers();
    chart()->setTitle(picture.title);
    setWholeSpan(picture.fromMs, picture.toMs, false);
}

} // namespace history
