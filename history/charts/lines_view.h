#pragma once

#include "history/chart_views.h"
#include "history/charts/time_chart_view.h"

class QValueAxis;

namespace history {

// Lines of several stations over one span, zoomed and moved as a TimeChartView.
class LinesView : public TimeChartView, public LinesChart {
    Q_OBJECT

public:
    explicit LinesView(QWidget* parent);

    QWidget* widget() override { return this; }
    void resetZoom() override { TimeChartView::resetZoom(); }
    void setPicture(const LinesPicture& picture) override;

private:
    QValueAxis* value_ = nullptr;
};

} // namespace history
