#include "history/charts/trend_view.h"

#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace history {

namespace {

// Each point appended lays the whole series out again: many points at once go in one replace.
constexpr qsizetype kMostAppended = 64;

// The series made to show `wanted`: the points it has in common are kept and the new ones
// appended, so that a line grows as readings come without being drawn anew.
void showPoints(QXYSeries* series, const QList<QPointF>& wanted) {
    const QList<QPointF> shown = series->points();
    qsizetype common = 0;
    while (common < shown.size() && common < wanted.size() &&
           shown[common].x() == wanted[common].x() && shown[common].y() == wanted[common].y())
        ++common;
    if (common == 0 || wanted.size() - common > kMostAppended) {
        series->replace(wanted);
    } else {
        if (common < shown.size())
            series->removePoints(int(common), int(shown.size() - common));
        if (common < wanted.size())
            series->append(wanted.mid(common));
    }
    // A reading alone between two gaps has no line to show it: it is drawn as a dot.
    series->setPointsVisible(wanted.size() == 1);
}

} // namespace

TrendView::TrendView(QWidget* parent) : TimeChartView(parent) {
    setObjectName(QStringLiteral("Tendencia"));
    setAccessibleName(QStringLiteral("Tendência"));
    QChart* c = chart();
    c->legend()->setAlignment(Qt::AlignBottom);
    value_ = new QValueAxis;
    value_->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(value_, Qt::AlignLeft);
    for (std::size_t line = 0; line < lines_.size(); ++line)
        addRun(line);
    lines_[1].front()->setPen(QPen(QColor(230, 140, 0), 1.5, Qt::DashLine));
    lines_[2].front()->setPen(QPen(QColor(215, 0, 0), 1.5, Qt::DashLine));
}

QLineSeries* TrendView::addRun(std::size_t line) {
    static const std::array<QString, 3> names{
        QStringLiteral("Velocidade"), QStringLiteral("Preset 1"), QStringLiteral("Preset 2")};
    auto* series = new QLineSeries;
    series->setName(names[line]);
    chart()->addSeries(series);
    series->attachAxis(timeAxis());
    series->attachAxis(value_);
    if (!lines_[line].isEmpty()) {
        // One entry in the legend for the whole line.
        series->setPen(lines_[line].front()->pen());
        chart()->legend()->markers(series).front()->setVisible(false);
    }
    lines_[line] << series;
    return series;
}

void TrendView::showRuns(std::size_t line, const Runs& runs, double scale) {
    QList<QLineSeries*>& shown = lines_[line];
    for (qsizetype run = 0; run < runs.size(); ++run) {
        QList<QPointF> points = runs[run];
        for (QPointF& point : points)
            point.setY(point.y() * scale);
        showPoints(run < shown.size() ? shown[run] : addRun(line), points);
    }
    while (shown.size() > std::max<qsizetype>(1, runs.size())) {
        QLineSeries* series = shown.takeLast();
        chart()->removeSeries(series);
        delete series;
    }
    if (runs.isEmpty())
        shown.front()->clear();
    // A series added hides the legend's markers until the legend is laid out again, and the
    // first run's would stay hidden with the others'.
    chart()->legend()->markers(shown.front()).front()->setVisible(true);
}

void TrendView::setLines(const TrendLines& lines, const QDateTime& from, const QDateTime& to,
                         double factor, const QString& unit, const QString& title, bool newView) {
    chart()->setTitle(title);
    setAccessibleDescription(title);
    value_->setTitleText(unit.isEmpty() ? QStringLiteral("Velocidade")
                                        : QStringLiteral("Velocidade (%1)").arg(unit));
    double highest = 0;
    const std::array<const Runs*, 3> runs{&lines.speed, &lines.preset1, &lines.preset2};
    for (std::size_t line = 0; line < lines_.size(); ++line) {
        for (const QList<QPointF>& run : *runs[line]) {
            for (const QPointF& point : run)
                highest = std::max(highest, point.y() * factor / 10.0);
        }
        showRuns(line, *runs[line], factor / 10.0);
    }
    // Every line in sight: the speeds and both preset levels.
    value_->setRange(0, std::max(1.0, highest * 1.08));
    value_->applyNiceNumbers();
    setWholeSpan(from.toMSecsSinceEpoch(), to.toMSecsSinceEpoch(), !newView);
}

int TrendView::pointsShown() const {
    int points = 0;
    for (const QLineSeries* run : lines_[0])
        points += int(run->count());
    return points;
}

} // namespace history
