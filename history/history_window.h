#pragma once

#include "history/history_loader.h"
#include "history/prepared.h"
#include "history/wind_stats.h"

#include <QFutureWatcher>
#include <QWidget>

#include <functional>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;
class QVBoxLayout;

namespace history {

class RoseChart;
class TrendChart;
class WeekModel;

// "Histórico": a station's wind over a day or the last 24 hours (trend with the preset levels,
// zoomed with the mouse wheel), its daily summary with the last 7 days, and its wind rose over
// the day or the last 7 days. The log files are read off the window's thread, with a progress
// bar and "Cancelar"; today's readings held in memory join what is shown as they come, the
// trend's zoom kept. Not modal.
class HistoryWindow : public QWidget {
    Q_OBJECT

public:
    struct Sources {
        std::function<QString()> logFolder; // may fail, as the Documents folder may
        const LiveReadings* live = nullptr;
        const settings::StationSettings& settings; // which stations are logged
        std::function<qint64()> nowMs;
    };

    HistoryWindow(Sources sources, QWidget* parent);
    ~HistoryWindow() override;

    // Lists the stations again and loads the one chosen.
    void reload();
    // The chart shown as PNG and the summary table as a semicolon file beside it.
    void exportTo(const QString& pngPath) const;
    bool loading() const;
    // Today's readings that came since the last look added to what is shown (a timer's tick
    // while the window is shown).
    void refreshLive();

    QComboBox* stationBox() const { return station_; }
    QComboBox* dayBox() const { return day_; }
    QComboBox* unitBox() const { return unit_; }
    QComboBox* roseSpanBox() const { return roseSpan_; }
    QTabWidget* tabs() const { return tabs_; }
    QTableView* weekTable() const { return weekTable_; }
    QLabel* summaryLabel() const { return summary_; }
    QLabel* noteLabel() const { return note_; }
    QLabel* roseNote() const { return roseNote_; }
    QPushButton* cancelButton() const { return cancel_; }
    // The charts are made when first needed (shown, or data to show): until then the program
    // has no need of the charts module.
    TrendChart* trendChart() const;

    // Its least size counts the charts: asked before the window is first placed and shown.
    QSize minimumSizeHint() const override;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // Reads the station's files for the day chosen; `newView` shows the whole span after.
    void startLoading(bool newView = true);
    void loaded();
    void showData(bool newView);
    void makeCharts() const;
    bool loggedNow(const QString& station) const;
    QString notes(bool unitKnown) const;
    void exportChart();
    QDate today() const;
    Choice choice() const;

    Sources sources_;
    std::shared_ptr<StationHistory> data_ = std::make_shared<StationHistory>();
    Prepared prepared_;
    QDate shownToday_;          // the day that was today when the data was read
    std::size_t heldShown_ = 0; // today's readings held in memory that the data holds
    bool newViewOnLoad_ = true;
    QFutureWatcher<Loaded> watcher_;
    QComboBox* station_ = nullptr;
    QComboBox* day_ = nullptr;
    QComboBox* unit_ = nullptr;
    QComboBox* roseSpan_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* note_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QVBoxLayout* trendPlace_ = nullptr;
    QVBoxLayout* rosePlace_ = nullptr;
    mutable TrendChart* trend_ = nullptr;
    mutable RoseChart* rose_ = nullptr;
    QLabel* roseNote_ = nullptr;
    QLabel* summary_ = nullptr;
    WeekModel* week_ = nullptr;
    QTableView* weekTable_ = nullptr;
    QTimer* liveTimer_ = nullptr;
    bool waitingForLoad_ = false; // a load started and its result not taken yet
};

} // namespace history
