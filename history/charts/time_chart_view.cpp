#include "history/charts/time_chart_view.h"

#include <QDateTime>
#include <QMouseEvent>
#include <QWheelEvent>
#include <QtCharts/QDateTimeAxis>

#include <algorithm>

namespace history {

namespace {

constexpr qint64 kShortestSpanMs = 60'000;
constexpr qint64 kSecondsShownBelowMs = 2 * 3'600'000;
constexpr qint64 kDateShownFromMs = 2 * 86'400'000;

} // namespace

TimeChartView::TimeChartView(QWidget* parent) : QChartView(parent) {
    setRenderHint(QPainter::Antialiasing);
    time_ = new QDateTimeAxis;
    time_->setFormat(QStringLiteral("HH:mm"));
    time_->setTitleText(QStringLiteral("Hora"));
    time_->setTickCount(9); // every 3 hours over a day
    chart()->addAxis(time_, Qt::AlignBottom);
}

void TimeChartView::setWholeSpan(qint64 fromMs, qint64 toMs, bool keepZoom) {
    wholeFromMs_ = fromMs;
    wholeToMs_ = toMs;
    if (!keepZoom || !zoomed_)
        resetZoom();
}

void TimeChartView::resetZoom() {
    showTime(wholeFromMs_, wholeToMs_);
}

void TimeChartView::showTime(qint64 fromMs, qint64 toMs) {
    const qint64 whole = wholeToMs_ - wholeFromMs_;
    const qint64 span = std::clamp(toMs - fromMs, std::min(kShortestSpanMs, whole), whole);
    fromMs = std::clamp(fromMs, wholeFromMs_, wholeToMs_ - span);
    zoomed_ = span < whole;
    time_->setFormat(span >= kDateShownFromMs      ? QStringLiteral("dd/MM HH:mm")
                     : span < kSecondsShownBelowMs ? QStringLiteral("HH:mm:ss")
                                                   : QStringLiteral("HH:mm"));
    time_->setRange(QDateTime::fromMSecsSinceEpoch(fromMs),
                    QDateTime::fromMSecsSinceEpoch(fromMs + span));
}

double TimeChartView::plotShare(const QPointF& viewPosition) const {
    const QRectF area = chart()->plotArea();
    const QPointF at = chart()->mapFromScene(mapToScene(viewPosition.toPoint()));
    return std::clamp((at.x() - area.left()) / area.width(), 0.0, 1.0);
}

void TimeChartView::wheelEvent(QWheelEvent* event) {
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

void TimeChartView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QChartView::mousePressEvent(event);
    drag_ = Drag{plotShare(event->position()), time_->min().toMSecsSinceEpoch(),
                 time_->max().toMSecsSinceEpoch()};
    event->accept();
}

void TimeChartView::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_ || !(event->buttons() & Qt::LeftButton))
        return QChartView::mouseMoveEvent(event);
    const auto shift =
        qint64((plotShare(event->position()) - drag_->share) * double(drag_->toMs - drag_->fromMs));
    // The chart follows the pointer: dragging to the right shows earlier times.
    showTime(drag_->fromMs - shift, drag_->toMs - shift);
    event->accept();
}

void TimeChartView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !drag_)
        return QChartView::mouseReleaseEvent(event);
    drag_.reset();
    event->accept();
}

} // namespace history
