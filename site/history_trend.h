#pragma once

#include "history/chart_views.h"
#include "site/history_figures.h"

#include <QObject>

#include <map>

namespace site {

// The trend of the chosen stations together: a line per station, broken where no reading
// came, the preset levels dashed in the station's colour when asked for; zoomed and moved as
// the station's Histórico. It goes with its chart: deleted when the chart's widget is.
class HistoryTrend : public QObject {
public:
    HistoryTrend();

    history::LinesChart* chart() const { return chart_; }
    QWidget* widget() const { return chart_->widget(); }
    void show(const HistoryData& data, bool presets);
    // The runs drawn of each station's speed line, by its label, for the tests and the
    // accessible description.
    int runsShown(const QString& label) const;

private:
    history::LinesChart* chart_;
    std::map<QString, int> runs_;
};

// The colour of the nth station of a chart, on screen and in the report alike.
QColor stationColour(int index);

} // namespace site
