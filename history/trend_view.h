#pragma once

#include "history/trend.h"

#include <QDateTime>
#include <QtCharts/QChartView>

#include <array>
#include <optional>

class QDateTimeAxis;
class QLineSeries;
class QValueAxis;

namespace history {

// The trend of a station's speed with the levels of its two presets, over time, broken where
// no reading came. The mouse wheel zooms the time around the pointer and dragging moves it;
// resetZoom() shows the whole span again.
class TrendView : public QChartView {
    Q_OBJECT

public:
    explicit TrendView(QWidget* parent);

    // Shows the lines (y in tenths of the file's unit, speeds times `factor`) over the span
    // from `from` to `to`. What is already drawn only grows by what is new, and a time the
    // user zoomed into or moved to stays, unless `newView`.
    void setLines(const TrendLines& lines, const QDateTime& from, const QDateTime& to,
                  double factor, const QString& unit, const QString& title, bool newView);
    void resetZoom();
    bool zoomed() const { return zoomed_; }
    int pointsShown() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // One line's runs, a series each: Qt Charts joins every point of a series to the next
    // (a point of no number only breaks a solid pen's line, and append() refuses one).
    void showRuns(std::size_t line, const Runs& runs, double scale);
    QLineSeries* addRun(std::size_t line);
    // Shows the time from `fromMs` to `toMs`, kept within the whole span.
    void showTime(qint64 fromMs, qint64 toMs);
    double plotShare(const QPointF& viewPosition) const;

    // Speed, preset 1, preset 2: each line's runs; the first one stays, empty or not, and
    // stands for the line in the legend.
    std::array<QList<QLineSeries*>, 3> lines_;
    QDateTimeAxis* time_ = nullptr;
    QValueAxis* value_ = nullptr;
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
