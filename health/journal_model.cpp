#include "health/journal_model.h"

#include <utility>

namespace health {

namespace {

const QStringList kJournalColumns{QStringLiteral("Hora"), QStringLiteral("Estação"),
                                  QStringLiteral("Evento"), QStringLiteral("Detalhe")};

} // namespace

int JournalModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(events_.size());
}

int JournalModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kJournalColumns.size());
}

QVariant JournalModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    const Event& event = events_[events_.size() - 1 - index.row()];
    switch (index.column()) {
    case 0:
        return event.at.time().toString(QStringLiteral("HH:mm:ss"));
    case 1:
        return event.station;
    case 2:
        return event.event;
    default:
        return event.detail;
    }
}

QVariant JournalModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return kJournalColumns.value(section);
    return {};
}

void JournalModel::reset(QList<Event> events) {
    beginResetModel();
    events_ = std::move(events);
    endResetModel();
}

void JournalModel::add(const QList<Event>& more) {
    if (more.isEmpty())
        return;
    beginInsertRows({}, 0, int(more.size()) - 1);
    events_.append(more);
    endInsertRows();
}

} // namespace health
