#pragma once

#include "health/event_journal.h"

#include <QAbstractTableModel>

namespace health {

// The day's events, newest first, over the list they came in: a new event is one row more at
// the top, not a copy of every row below it.
class JournalModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void reset(QList<Event> events);
    void add(const QList<Event>& more);

private:
    QList<Event> events_; // oldest first
};

} // namespace health
