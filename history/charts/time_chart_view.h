#pragma once

#include <QtCharts/QChartView>

#include <optional>

class QDateTimeAxis;

namespace history {

// A chart over time whose time axis the user moves: the mouse wheel zooms the time around the
// pointer and dragging moves it, within the whole span; resetZoom() shows the whole span again.
class TimeChartView : public QChartView {
    Q_OBJECT

public:
    explicit TimeChartView(QWidget* parent);

    void resetZoom();
    bool zoomed() const { return zoomed_; }

protected:
    QDateTimeAxis* timeAxis() const { return time_; }
    // The span the time may move within; the view is shown whole again unless zoomed and kept.
    void setWholeSpan(qint64 fromMs, qint64 toMs, bool keepZoom);

    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // Shows the time from `fromMs` to `toMs`, kept within the whole span.
    void showTime(qint64 fromMs, qint64 toMs);
    double plotShare(const QPointF& viewPosition) const;

    QDateTimeAxis* time_ = nullptr;
    qint64 wholeFromMs_ = 0;
    qint64 wholeToMs_ = 0;
    bool zoomed_ = false;
    struct Drag {
        double share; // where the button went down, across the plot
        qint64 fromMs;
        qint64 toMs;
    };
    std::optional<Drag> drag_;
};

} // namespace history
