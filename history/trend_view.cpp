#include "history/trend_view.h"

#include <QMouseEvent>
#include <QWheelEvent>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>

#include <algorithm>

namespace history {

namespace {

constexpr qint64 kShortestSpanMs = 60'000;
constexpr qint64 kSecondsShownBelowMs = 2 * 3'600'000;
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

TrendView::TrendView(QWidget* parent) : QChartView(parent) {
    setObjectName(QStringLiteral("Tendencia"));
    setAccessibleName(QStringLiteral("Tendência"));
    setRenderHint(QPainter::Antialiasing);
    QChart* c = chart();
    c->legend()->setAlignment(Qt::AlignBottom);
    time_ = new QDateTimeAxis;
    time_->setFormat(QStringLiteral("HH:mm"));
    time_->setTitleText(QStringLiteral("Hora"));
    time_->setTickCount(9); // every 3 hours over a day
    value_ = new QValueAxis;
    value_->setLabelFormat(QStringLiteral("%.0f"));
    c->addAxis(time_, Qt::AlignBottom);
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
    series->attachAxis(time_);
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
    wholeFromMs_ = from.toMSecsSinceEpoch();
    wholeToMs_ = to.toMSecsSinceEpoch();
    if (newView || !zoomed_)
        resetZoom();
}

int TrendView::pointsShown() const {
    int points = 0;
    for (const QLineSeries* run : lines_[0])
        points += int(run->count());
    return points;
}

void TrendView::resetZoom() {
    showTime(wholeFromMs_, wholeToMs_);
}

void TrendView::showTime(qint64 fromMs, qint64 toMs) {
    const qint64 whole = wholeToMs_ - wholeFromMs_;
    const qint64 span = std::clamp(toMs - fromMs, std::min(kShortestSpanMs, whole), whole);
    fromMs = std::clamp(fromMs, wholeFromMs_, wholeToMs_ - span);
    zoomed_ = span < whole;
    time_->setFormat(span < kSecondsShownBelowMs ? QStringLiteral("HH:mm:ss")
                                                 : QStringLiteral("HH:mm"));
    time_->setRange(QDateTime::fromMSecsSinceEpoch(fromMs),
                    QDateTime::fromMSecsSinceEpoch(fromMs + span));
}

double TrendView::plotShare(const QPointF& viewPosition) const {
    const QRectF area = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(viewPosition.toPoint()));
    return std::clamp((at.x() - area.left()) / area.width(), 0.0, 1.0);
}

void TrendView::wheelEvent(QWheelEvent* event) {
    event->accept();
    if (event->angleDelta().y() == 0)
        return;
    const qint64 fromMs = time_->min().toMSecsSinceEpoch();
    const qint64 toMs = time_->max().toMSecsSinceEpoch();
    const double share = plotShare(event->position());
    const double factor = event->angleDelta().y() > 0 ? 1.25 : 0.8;
    const auto span = qint64(double(toMs - fromMs) / factor);
    const qint64 pointer = fromMs + qint64(share * double(toMs - fromMs));
    const qint64 newFrom = pointer - qint64(share * double(span));
    showTime(newFrom, newFrom + span);
}

void TrendView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QChartView::mousePressEvent(event);
    drag_ = Drag{plotShare(event->position()), time_->min().toMSecsSinceEpoch(),
                 time_->max().toMSecsSinceEpoch()};
    event->accept();
}

void TrendView::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_ || !(event->buttons() & Qt::LeftButton))
        return QChartView::mouseMoveEvent(event);
    const auto shift =
        qint64((plotShare(event->position()) - drag_->share) * double(drag_->toMs - drag_->fromMs));
    // The chart follows the pointer: dragging to the right shows earlier times.
    showTime(drag_->fromMs - shift, drag_->toMs - shift);
    event->accept();
}

void TrendView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !drag_)
        return QChartView::mouseReleaseEvent(event);
    drag_.reset();
    event->accept();
}

} // namespace history
