#pragma once

#include "health/event_journal.h"
#include "modbus/stations.h"
#include "settings/station_settings.h"

#include <QWidget>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace health {

class HealthMonitor;

// "Diagnóstico": a row per configured station with its state, its last good reading, its
// success and each kind of failure, and the day's event journal below, newest first. Not
// modal: polling goes on while it is open. It refreshes at most once a second, and only while
// it is shown.
class DiagnosticsWindow : public QWidget {
    Q_OBJECT

public:
    struct Stations {
        const settings::StationSettings& settings; // the stations shown, their names, addresses
        std::function<QString()> logFolder;
    };

    DiagnosticsWindow(const HealthMonitor& monitor, Stations stations, QWidget* parent);

    // Both tables as a semicolon file, Windows-1252 with CR LF. Failures throw.
    void exportTo(const QString& path) const;
    void refresh();
    // A line under the journal about a connection beside the bus (the MQTT broker); hidden
    // while empty.
    void setConnectionText(const QString& text);
    QLabel* connectionLabel() const { return connection_; }
    // The notifications' channels under the connection: their state, queue and last error;
    // hidden while empty.
    void setNotificationText(const QString& text);
    QLabel* notificationLabel() const { return notifications_; }
    // The site's archive under the notifications: the database and its state, the queue, the
    // last error; hidden while empty.
    void setArchiveText(const QString& text);
    QLabel* archiveLabel() const { return archive_; }

    QTableView* stationTable() const { return stationTable_; }
    QTableView* journalTable() const { return journalTable_; }
    QComboBox* periodBox() const { return period_; }
    QPushButton* exportButton() const { return export_; }

    static QString lastGoodText(std::optional<qint64> lastGoodMs, qint64 nowMs);
    static QString percentText(std::optional<double> percent);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void loadJournal();
    void addToJournal(const QList<Event>& events);
    void exportClicked();

    const HealthMonitor& monitor_;
    Stations stations_;
    QComboBox* period_ = nullptr;
    class StationTableModel* stationRows_ = nullptr;
    QTableView* stationTable_ = nullptr;
    class JournalModel* journal_ = nullptr;
    QTableView* journalTable_ = nullptr;
    QPushButton* export_ = nullptr;
    QLabel* connection_ = nullptr;
    QLabel* notifications_ = nullptr;
    QLabel* archive_ = nullptr;
    QTimer* refreshTimer_ = nullptr;
    QDate journalDay_;
    QList<Event> pendingEvents_;
    int refreshesSinceEvents_ = 0;
};

// Gives each station panel a tooltip with its last good reading and its success over the last
// hour, made when the tooltip is asked for, for as long as the monitor lives.
void installPanelToolTips(HealthMonitor& monitor, const std::array<QWidget*, kStations>& panels);

} // namespace health
