#pragma once

#include "history/chart_views.h"

#include <QtCharts/QChartView>

class QLabel;

namespace history {

// The wind rose: for each compass point the share of the readings, stacked by Beaufort band,
// with the calm share written in the middle.
class RoseView : public QChartView, public RoseChart {
    Q_OBJECT

public:
    explicit RoseView(QWidget* parent);

    QWidget* widget() override { return this; }
    void setPicture(const RosePicture& picture) override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* calm_ = nullptr;
};

} // namespace history
