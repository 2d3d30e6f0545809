#pragma once

#include "alarms/alarm_book.h"

#include <QAbstractTableModel>
#include <QList>

#include <functional>

class QTableView;

namespace settings {
class StationSettings;
}

namespace alarms {

// A table whose rows have keys, so that the rows a user picked can be picked again by their
// keys after the model was reset.
class RowKeyedModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    virtual QVariant rowKey(int row) const = 0;
    // -1 when no row has the key.
    virtual int rowOfKey(const QVariant& key) const = 0;
};

// Keeps the rows picked in `view` (and its current row) picked over every reset of `model`.
void keepSelectionByKey(QTableView* view, RowKeyedModel* model);

// One listed alarm as the alarm table shows it, column by column, wherever its rows come from.
QString alarmColumnTitle(int column);
QString alarmCellText(const Entry& entry, int column, const QString& stationName);
// Colours by priority and state, the texts saying the same for whoever does not see them.
QVariant alarmCellBackground(const Entry& entry);
QVariant alarmCellForeground(const Entry& entry);

// The listed alarms as a table, newest first, wherever they come from: a station's own list, or
// the site's lists of every station PC with LOCAL (the PC's prefix) in front. Rows are updated
// in place while the same alarms are listed in the same order; otherwise the model is reset.
class EntryTableModel : public RowKeyedModel {
    Q_OBJECT

public:
    enum Column { Station, Alarm, Priority, State, Since, Peak, AckBy, AckAt, Repetitions };
    static constexpr int kColumns = Repetitions + 1;

    struct Row {
        QString local; // the station PC's prefix, in the site's list
        QString stationName;
        Entry entry;
        friend bool operator==(const Row&, const Row&) = default;
    };

    EntryTableModel(bool withLocal, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant rowKey(int row) const override;
    int rowOfKey(const QVariant& key) const override;

    const Row& rowAt(int row) const { return rows_.at(row); }
    const Entry& entryAt(int row) const { return rows_.at(row).entry; }
    Key keyAt(int row) const { return rows_.at(row).entry.key(); }
    // The column of an entry's `column`, LOCAL counted.
    int columnOf(Column column) const { return column + (withLocal_ ? 1 : 0); }

protected:
    void setRows(QList<Row> rows);
    // More of a cell than its text and colours (a tooltip); nothing by default.
    virtual QVariant moreData(const Row& row, int column, int role) const;

private:
    bool withLocal_;
    QList<Row> rows_;
};

// The station's own list, as the book holds it, each station by its name as configured.
class AlarmTableModel : public EntryTableModel {
    Q_OBJECT

public:
    AlarmTableModel(const AlarmBook& book, const settings::StationSettings& stations,
                    QObject* parent = nullptr);

    // Follows the book.
    void refresh();

private:
    const AlarmBook& book_;
    const settings::StationSettings& stations_;
};

// Every alarm of the day, newest first: when it came and went, its peak, who acknowledged it,
// how long it lasted (or has lasted until now, while still active). It follows the book record
// by record, so that a day of chatter costs no more per change than a quiet one.
class DayHistoryModel : public RowKeyedModel {
    Q_OBJECT

public:
    enum Column { Station, Alarm, Priority, Came, Peak, AckBy, AckAt, Went, Duration };

    DayHistoryModel(const AlarmBook& book, const settings::StationSettings& stations,
                    std::function<qint64()> nowMs, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant rowKey(int row) const override;
    int rowOfKey(const QVariant& key) const override;

    // The whole day again, as the book holds it.
    void refresh();
    // The durations of the alarms still active, as time goes by.
    void refreshDurations();

private:
    // A record came, or changed in place: one row, whatever the length of the day.
    void recordOpened(const DayRecord& record);
    void recordChanged(const DayRecord& record);

    const AlarmBook& book_;
    const settings::StationSettings& stations_;
    std::function<qint64()> nowMs_;
    QList<DayRecord> rows_;
};

} // namespace alarms
