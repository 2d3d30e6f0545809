#include "health/station_table_model.h"

#include "health/health_monitor.h"
#include "toolkit/numbers.h"

#include <algorithm>

namespace health {

namespace {

// Long headers take two lines, so that every column fits a 1024-pixel screen.
const QStringList kStationColumns{
    QStringLiteral("Estação"),          QStringLiteral("Endereço"),
    QStringLiteral("Estado"),           QStringLiteral("Última leitura\nboa"),
    QStringLiteral("Sucesso\n(1 h)"),   QStringLiteral("Sem\nresposta"),
    QStringLiteral("CRC\ninválido"),    QStringLiteral("Endereço\nerrado"),
    QStringLiteral("Função\ninválida"), QStringLiteral("Resposta\ncurta"),
    QStringLiteral("Leituras")};

} // namespace

QString lastGoodText(std::optional<qint64> lastGoodMs, qint64 nowMs) {
    if (!lastGoodMs)
        return QStringLiteral("nenhuma");
    const QString time =
        QDateTime::fromMSecsSinceEpoch(*lastGoodMs).time().toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("%1 (há %2 s)")
        .arg(time)
        .arg(std::max<qint64>(0, nowMs - *lastGoodMs) / 1000);
}

QString percentText(std::optional<double> percent) {
    if (!percent)
        return QStringLiteral("-");
    return toolkit::decimalText(*percent, 1) + QStringLiteral(" %");
}

StationTableModel::StationTableModel(const HealthMonitor& monitor,
                                     const settings::StationSettings& settings, QObject* parent)
    : QAbstractTableModel(parent), monitor_(monitor), settings_(settings) {}

int StationTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int StationTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(kStationColumns.size());
}

QVariant StationTableModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return {};
    return rows_.value(index.row()).value(index.column());
}

QVariant StationTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return kStationColumns.value(section);
    return {};
}

bool StationTableModel::refresh(qint64 nowMs, bool lastHour) {
    QList<QStringList> rows;
    for (int station = 1; station <= kStations; ++station) {
        if (!settings_.polled(station))
            continue;
        const StationHealth& health = monitor_.station(station);
        const Counts counts = lastHour ? health.lastHour(nowMs) : health.sinceStart();
        rows << QStringList{settings_.name(station),
                            settings_.addressText(station),
                            monitor_.stateText(station),
                            lastGoodText(health.lastGoodMs(), nowMs),
                            percentText(health.lastHour(nowMs).successPercent()),
                            QString::number(counts.noReply),
                            QString::number(counts.badCrc),
                            QString::number(counts.wrongAddress),
                            QString::number(counts.wrongFunction),
                            QString::number(counts.tooShort),
                            QString::number(counts.polls)};
    }
    const int before = int(rows_.size());
    const int after = int(rows.size());
    if (after > before) {
        beginInsertRows({}, before, after - 1);
        rows_.append(rows.mid(before));
        endInsertRows();
    } else if (after < before) {
        beginRemoveRows({}, after, before - 1);
        rows_.resize(after);
        endRemoveRows();
    }
    for (int row = 0; row < std::min(before, after); ++row) {
        for (int column = 0; column < columnCount(); ++column) {
            if (rows_[row][column] == rows[row][column])
                continue;
            rows_[row][column] = rows[row][column];
            emit dataChanged(index(row, column), index(row, column), {Qt::DisplayRole});
        }
    }
    return after != before;
}

} // namespace health
