#pragma once

#include "history/log_reader.h"
#include "history/wind_stats.h"

#include <QDateTime>
#include <QtCharts/QChartView>

class QLabel;

namespace history {

// The trend of a station's speed with the levels of its two presets, over time. The mouse
// wheel zooms the time axis around the pointer; resetZoom() shows it all again.
class TrendView : public QChartView {
    Q_OBJECT

public:
    explicit TrendView(QWidget* parent);

    // The lines of a prepared trend (y in tenths of the file's unit) from `from` to `to`,
    // speeds times `factor`.
    void setData(const QList<QPointF>& speed, const QList<QPointF>& preset1,
                 const QList<QPointF>& preset2, const QDateTime& from, const QDateTime& to,
                 double factor, const QString& unit, const QString& title);
    void resetZoom();
    int pointsShown() const;

protected:
    void wheelEvent(QWheelEvent* event) override;
};

// The wind rose: for each compass point the share of the readings, stacked by Beaufort band,
// with the calm share written in the middle.
class RoseView : public QChartView {
    Q_OBJECT

public:
    explicit RoseView(QWidget* parent);

    void setData(const WindRose& rose, const QStringList& bandNames, const QString& title);
    QLabel* calmLabel() const { return calm_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* calm_ = nullptr;
};

} // namespace history
