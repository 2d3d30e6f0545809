#pragma once

#include "site/history_figures.h"

#include <QElapsedTimer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QListWidget;
class QPushButton;
class QTableView;

namespace site {

class ArchiveClient;
class HistoryLoad;
class HistoryTable;
class HistoryTrend;

// "Histórico do local": the site's archive read back for the stations and the period chosen,
// as a trend of them together and a table of their days, with the table exported as a
// semicolon file and a month's report as a PDF. Every question to the archive is answered
// later; the window never waits for it, and says so when the archive is away.
class SiteHistoryWindow : public QWidget {
    Q_OBJECT

public:
    SiteHistoryWindow(ArchiveClient& client, std::function<qint64()> nowMs,
                      QWidget* parent = nullptr);

    QListWidget* stationList() const { return stations_; }
    QComboBox* periodBox() const { return period_; }
    QComboBox* monthBox() const { return month_; }
    QDateEdit* fromEdit() const { return from_; }
    QDateEdit* toEdit() const { return to_; }
    QCheckBox* presetsBox() const { return presets_; }
    QPushButton* showButton() const { return show_; }
    QTableView* table() const { return tableView_; }
    HistoryTrend* trend() const { return trend_; }
    QLabel* note() const { return note_; }
    const HistoryData& shown() const { return data_; }

    // Asks the archive again for its stations.
    void listStations();
    // The stations offered, as the archive listed them; given before the window is first
    // shown, the window does not ask for them.
    void setStations(const QList<ArchiveStation>& stations);
    // What a question to the archive found, in the trend and the table.
    void showData(const HistoryData& data);
    // The chosen stations and period, asked for; loaded() when they are shown.
    void showChosen();
    // The table as a semicolon file at `path`.
    void exportTo(const QString& path);
    // The report of the month in the month box for the chosen stations, at `pdfPath`;
    // reportDone() when it is written or could not be.
    void reportTo(const QString& pdfPath);

signals:
    void stationsListed();
    void loaded();
    void reportDone(const QString& path, bool written);

protected:
    void showEvent(QShowEvent* event) override;

private:
    QList<ArchiveStation> chosenStations() const;
    Period chosenPeriod() const;
    void periodChanged();
    void writeReport(const HistoryData& data);
    void setNote(const QString& text, bool problem);

    ArchiveClient& client_;
    std::function<qint64()> nowMs_;
    QList<ArchiveStation> known_;
    HistoryData data_;
    HistoryLoad* load_;
    HistoryLoad* reportLoad_;
    QString reportPath_;
    QElapsedTimer asked_;
    bool listedOnce_ = false;

    QListWidget* stations_;
    QComboBox* period_;
    QComboBox* month_;
    QDateEdit* from_;
    QDateEdit* to_;
    QCheckBox* presets_;
    QPushButton* show_;
    QPushButton* export_;
    QPushButton* report_;
    QLabel* note_;
    HistoryTrend* trend_;
    HistoryTable* table_;
    QTableView* tableView_;
};

} // namespace site
