#pragma once

#include "history/trend_view.h"
#include "history/wind_stats.h"

#include <QtCharts/QChartView>

class QLabel;

namespace history {

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
