#pragma once

#include "history/chart_views.h"
#include "history/charts/time_chart_view.h"

#include <QDateTime>

#include <array>

class QLineSeries;
class QValueAxis;

namespace history {

// The trend of a station's speed with the levels of its two presets, over time, broken where
// no reading came, zoomed and moved as a TimeChartView.
class TrendView : public TimeChartView, public TrendChart {
    Q_OBJECT

public:
    explicit TrendView(QWidget* parent);

    QWidget* widget() override { return this; }
    void resetZoom() override { TimeChartView::resetZoom(); }
    void setLines(const TrendLines& lines, const QDateTime& from, const QDateTime& to,
                  double factor, const QString& unit, const QString& title,
                  bool newView) override;
    int pointsShown() const override;

private:
    // One line's runs, a series each: Qt Charts joins every point of a series to the next
    // (a point of no number only breaks a solid pen's line, and append() refuses one).
    void showRuns(std::size_t line, const Runs& runs, double scale);
    QLineSeries* addRun(std::size_t line);

    // Speed, preset 1, preset 2: each line's runs; the first one stays, empty or not, and
    // stands for the line in the legend.
    std::array<QList<QLineSeries*>, 3> lines_;
    QValueAxis* value_ = nullptr;
};

} // namespace history
