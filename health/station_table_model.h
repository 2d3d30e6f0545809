#pragma once

#include "settings/station_settings.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <optional>

namespace health {

class HealthMonitor;

// "09:00:01 (há 9 s)", or "nenhuma" before the first good reading.
QString lastGoodText(std::optional<qint64> lastGoodMs, qint64 nowMs);
// "50,0 %", or "-" without a poll to count.
QString percentText(std::optional<double> percent);

// A row per configured station: its name, address and state, its last good reading, its
// success over the last hour and its counts of each kind of failure.
class StationTableModel : public QAbstractTableModel {
public:
    static constexpr int kStateColumn = 2;
    static constexpr int kLastGoodColumn = 3;

    StationTableModel(const HealthMonitor& monitor, const settings::StationSettings& settings,
                      QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Reads the stations again, counting over the last hour or since the start. Only the cells
    // whose text changed are told, so a steady table costs nothing to show. True when rows
    // came or went.
    bool refresh(qint64 nowMs, bool lastHour);

private:
    const HealthMonitor& monitor_;
    const settings::StationSettings& settings_;
    QList<QStringList> rows_;
};

} // namespace health
