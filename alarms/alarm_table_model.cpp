#include "alarms/alarm_table_model.h"

#include "alarms/alarm_texts.h"
#include "settings/station_settings.h"

#include <QColor>
#include <QItemSelectionModel>
#include <QTableView>

#include <algorithm>
#include <memory>

namespace alarms {

namespace {

// "RECONHECIDO POR" and "RECONHECIDO ÀS" on two lines, as the day's history shows them too, so
// that every column fits a 1024-pixel screen.
const QStringList kAlarmColumns{QStringLiteral("ESTAÇÃO"),
                                QStringLiteral("ALARME"),
                                QStringLiteral("PRIORIDADE"),
                                QStringLiteral("ESTADO"),
                                QStringLiteral("DESDE"),
                                QStringLiteral("PICO"),
                                QStringLiteral("RECONHECIDO\nPOR"),
                                QStringLiteral("RECONHECIDO\nÀS"),
                                QStringLiteral("REPETIÇÕES")};

} // namespace

// Unacknowledged alarms in full colour, acknowledged ones in a lighter shade of it.
QVariant alarmCellBackground(const Entry& entry) {
    const bool acknowledged = entry.state == State::Acknowledged;
    if (entry.state != State::Active && !acknowledged)
        return {};
    switch (priorityOf(entry.kind)) {
    case Priority::High:
        return acknowledged ? QColor(255, 205, 205) : QColor(220, 30, 30);
    case Priority::Medium:
        return acknowledged ? QColor(255, 228, 170) : QColor(255, 176, 0);
    case Priority::Low:
        break;
    }
    return acknowledged ? QColor(255, 250, 205) : QColor(255, 236, 90);
}

QVariant alarmCellForeground(const Entry& entry) {
    if (entry.state == State::Normalized || entry.state == State::Shelved)
        return QColor(110, 110, 110);
    if (entry.state == State::Active && priorityOf(entry.kind) == Priority::High)
        return QColor(Qt::white);
    return QColor(Qt::black);
}

QString alarmColumnTitle(int column) {
    return column >= 0 && column < kAlarmColumns.size() ? kAlarmColumns.at(column) : QString();
}

void keepSelectionByKey(QTableView* view, RowKeyedModel* model) {
    struct Picked {
        QVariantList keys;
        QVariant current;
    };
    auto picked = std::make_shared<Picked>();
    QObject::connect(model, &QAbstractItemModel::modelAboutToBeReset, view, [=] {
        picked->keys.clear();
        for (const QModelIndex& index : view->selectionModel()->selectedRows())
            picked->keys.append(model->rowKey(index.row()));
        const QModelIndex current = view->selectionModel()->currentIndex();
        picked->current = current.isValid() ? model->rowKey(current.row()) : QVariant();
    });
    QObject::connect(model, &QAbstractItemModel::modelReset, view, [=] {
        QItemSelectionModel* selection = view->selectionModel();
        const int currentRow = picked->current.isValid() ? model->rowOfKey(picked->current) : -1;
        if (currentRow >= 0)
            selection->setCurrentIndex(model->index(currentRow, 0), QItemSelectionModel::NoUpdate);
        QItemSelection rows;
        for (const QVariant& key : std::as_const(picked->keys)) {
            const int row = model->rowOfKey(key);
            if (row >= 0)
                rows.select(model->index(row, 0), model->index(row, model->columnCount() - 1));
        }
        selection->select(rows, QItemSelectionModel::ClearAndSelect);
    });
}

EntryTableModel::EntryTableModel(bool withLocal, QObject* parent)
    : RowKeyedModel(parent), withLocal_(withLocal) {}

int EntryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int EntryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : columnOf(Column(kColumns));
}

QString alarmCellText(const Entry& entry, int column, const QString& stationName) {
    using Column = EntryTableModel::Column;
    switch (column) {
    case Column::Station:
        return stationName;
    case Column::Alarm:
        return kindText(entry.kind);
    case Column::Priority:
        return priorityText(priorityOf(entry.kind));
    case Column::State:
        return stateText(entry);
    case Column::Since:
        return dateTimeText(entry.sinceMs);
    case Column::Peak:
        return peakText(entry.peak, entry.unit);
    case Column::AckBy:
        return entry.acknowledgedBy;
    case Column::AckAt:
        return timeAfterText(entry.acknowledgedAtMs, entry.sinceMs);
    case Column::Repetitions:
        return QString::number(entry.repetitions);
    default:
        return {};
    }
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.size())
        return {};
    const Row& row = rows_.at(index.row());
    const int column = index.column() - (withLocal_ ? 1 : 0);
    switch (role) {
    case Qt::DisplayRole:
        return column < 0 ? row.local : alarmCellText(row.entry, column, row.stationName);
    case Qt::BackgroundRole:
        return alarmCellBackground(row.entry);
    case Qt::ForegroundRole:
        return alarmCellForeground(row.entry);
    default:
        return moreData(row, index.column(), role);
    }
}

QVariant EntryTableModel::moreData(const Row&, int, int) const {
    return {};
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    if (withLocal_ && section == 0)
        return QStringLiteral("LOCAL");
    return alarmColumnTitle(section - (withLocal_ ? 1 : 0));
}

QVariant EntryTableModel::rowKey(int row) const {
    const Row& r = rows_.at(row);
    return QStringLiteral("%1/%2/%3").arg(r.local).arg(r.entry.station).arg(int(r.entry.kind));
}

int EntryTableModel::rowOfKey(const QVariant& key) const {
    for (int row = 0; row < rows_.size(); ++row) {
        if (rowKey(row) == key)
            return row;
    }
    return -1;
}

void EntryTableModel::setRows(QList<Row> rows) {
    const bool sameRows =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(), [](const Row& a, const Row& b) {
            return a.local == b.local && a.entry.key() == b.entry.key();
        });
    if (!sameRows) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    for (int row = 0; row < rows_.size(); ++row) {
        if (rows_.at(row) == rows.at(row))
            continue;
        rows_[row] = rows.at(row);
        emit dataChanged(index(row, 0), index(row, columnCount() - 1));
    }
}

AlarmTableModel::AlarmTableModel(const AlarmBook& book, const settings::StationSettings& stations,
                                 QObject* parent)
    : EntryTableModel(/*withLocal=*/false, parent), book_(book), stations_(stations) {
    refresh();
    connect(&book, &AlarmBook::changed, this, &AlarmTableModel::refresh);
    // A renamed station is shown by its new name at once.
    connect(&stations, &settings::StationSettings::nameChanged, this, &AlarmTableModel::refresh);
}

void AlarmTableModel::refresh() {
    QList<Row> rows;
    rows.reserve(book_.entries().size());
    for (const Entry& entry : book_.entries())
        rows.append({{}, stationName(stations_, entry.station), entry});
    setRows(std::move(rows));
}

DayHistoryModel::DayHistoryModel(const AlarmBook& book, const settings::StationSettings& stations,
                                 std::function<qint64()> nowMs, QObject* parent)
    : RowKeyedModel(parent), book_(book), stations_(stations), nowMs_(std::move(nowMs)) {
    refresh();
    connect(&book, &AlarmBook::historyReset, this, &DayHistoryModel::refresh);
    connect(&book, &AlarmBook::recordOpened, this, &DayHistoryModel::recordOpened);
    connect(&book, &AlarmBook::recordUpdated, this, &DayHistoryModel::recordChanged);
    connect(&book, &AlarmBook::recordClosed, this, &DayHistoryModel::recordChanged);
}

int DayHistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int DayHistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(recordColumns().size());
}

QVariant DayHistoryModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= rows_.size())
        return {};
    const DayRecord& record = rows_.at(index.row());
    return recordCells(record, recordStationName(stations_, record), nowMs_())
        .value(index.column());
}

QVariant DayHistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return QString(recordColumns().value(section))
        .replace(QStringLiteral("RECONHECIDO "), QStringLiteral("RECONHECIDO\n"));
}

QVariant DayHistoryModel::rowKey(int row) const {
    return rows_.at(row).serial;
}

int DayHistoryModel::rowOfKey(const QVariant& key) const {
    for (int row = 0; row < rows_.size(); ++row) {
        if (rows_.at(row).serial == key.toULongLong())
            return row;
    }
    return -1;
}

void DayHistoryModel::refresh() {
    const QList<DayRecord>& history = book_.dayHistory(); // oldest first
    beginResetModel();
    rows_ = QList<DayRecord>(history.rbegin(), history.rend());
    endResetModel();
}

void DayHistoryModel::recordOpened(const DayRecord& record) {
    beginInsertRows({}, 0, 0);
    rows_.prepend(record);
    endInsertRows();
}

void DayHistoryModel::recordChanged(const DayRecord& record) {
    // Newest first: the serials fall row by row.
    const auto at =
        std::lower_bound(rows_.begin(), rows_.end(), record.serial,
                         [](const DayRecord& row, quint64 serial) { return row.serial > serial; });
    if (at == rows_.end() || at->serial != record.serial)
        return;
    *at = record;
    const int row = int(at - rows_.begin());
    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
}

void DayHistoryModel::refreshDurations() {
    for (int row = 0; row < rows_.size(); ++row) {
        if (rows_.at(row).wentMs == 0)
            emit dataChanged(index(row, Duration), index(row, Duration));
    }
}

} // namespace alarms
