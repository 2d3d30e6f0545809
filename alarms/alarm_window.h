#pragma once

#include "alarms/alarm_book.h"

#include <QDate>
#include <QWidget>

#include <functional>

class QHBoxLayout;
class QPushButton;
class QTabWidget;
class QTableView;
class QTimer;

namespace settings {
class StationSettings;
}

namespace alarms {

class AlarmRecorder;
class AlarmTableModel;
class DayHistoryModel;

// "Alarmes": the listed alarms with the operator's buttons, the day's history, and the export of
// a period's alarms from the day files. Not modal; everything works from the keyboard.
class AlarmWindow : public QWidget {
    Q_OBJECT

public:
    // `user` is who acknowledges, silences and shelves here; `recorder` keeps the day files
    // the export reads.
    AlarmWindow(AlarmBook& book, const AlarmRecorder& recorder,
                const settings::StationSettings& stations, std::function<qint64()> nowMs,
                QString user, QWidget* parent = nullptr);

    QTableView* alarmTable() const { return alarmTable_; }
    QTableView* historyTable() const { return historyTable_; }
    QTabWidget* tabs() const { return tabs_; }
    QPushButton* acknowledgeButton() const { return acknowledge_; }
    QPushButton* acknowledgeAllButton() const { return acknowledgeAll_; }
    QPushButton* silenceButton() const { return silence_; }
    QPushButton* shelveButton() const { return shelve_; }
    QPushButton* unshelveButton() const { return unshelve_; }
    QPushButton* exportButton() const { return export_; }

    // A button of a layer above, for the whole list (TESTAR NOTIFICAÇÕES): in Exportar's row, at
    // its left end, and before Exportar in the tab order.
    void addButton(QPushButton* button);

    // The export of the days from `from` to `to` into `path`. Failures throw toolkit::Failure.
    void exportTo(QDate from, QDate to, const QString& path) const;

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void connectAll();
    void acknowledgeClicked();
    void acknowledgeAllClicked();
    void silenceClicked();
    void shelveSelected(qint64 durationMs);
    void unshelveClicked();
    void exportClicked();
    void updateButtons();
    QList<Key> selectedKeys() const;

    AlarmBook& book_;
    const AlarmRecorder& recorder_;
    const settings::StationSettings& stations_;
    std::function<qint64()> nowMs_;
    QString user_;
    AlarmTableModel* alarms_ = nullptr;
    DayHistoryModel* history_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QTableView* alarmTable_ = nullptr;
    QTableView* historyTable_ = nullptr;
    QPushButton* acknowledge_ = nullptr;
    QPushButton* acknowledgeAll_ = nullptr;
    QPushButton* silence_ = nullptr;
    QPushButton* shelve_ = nullptr;
    QPushButton* unshelve_ = nullptr;
    QPushButton* export_ = nullptr;
    QHBoxLayout* bottomRow_ = nullptr;
    QTimer* durationTimer_ = nullptr;
};

} // namespace alarms
