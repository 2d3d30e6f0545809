#pragma once

#include "history/time_chart_view.h"
#include "site/history_figures.h"

class QValueAxis;

namespace site {

// The trend of the chosen stations together: a line per station, broken where no reading
// came, the preset levels dashed in the station's colour when asked for; zoomed and moved as
// the station's Histórico.
class HistoryTrend : public history::TimeChartView {
    Q_OBJECT

public:
    explicit HistoryTrend(QWidget* parent);

    void show(const HistoryData& data, bool presets);
    // The runs drawn of each station's speed line, by its label, for the tests and the
    // accessible description.
    int runsShown(const QString& label) const;

private:
    QValueAxis* value_ = nullptr;
    std::map<QString, int> runs_;
};

// The colour of the nth station of a chart, on screen and in the report alike.
QColor stationColour(int index);

} // namespace site
