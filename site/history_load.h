#pragma once

#include "site/history_figures.h"

#include <QObject>

namespace site {

class ArchiveClient;

// What one look at the archive asks for: the stations, the days, how many points the trend
// may have across, and what else.
struct HistoryRequest {
    QList<ArchiveStation> stations;
    Period period;
    qint64 nowMs = 0; // a day still going is read up to now
    int trendPoints = 1000;
    bool presets = false;
    bool alarmList = false;
};

// Asks the archive everything a request needs at once and tells when every answer came (or
// the first failure). A new request forgets the answers still due for the one before.
class HistoryLoad : public QObject {
    Q_OBJECT

public:
    HistoryLoad(ArchiveClient& client, QObject* parent = nullptr);

    void start(const HistoryRequest& request);
    bool busy() const { return due_ > 0; }

signals:
    void loaded(const site::HistoryData& data);

private:
    // Counts an answer of the request `generation` in; the last one due sends the data.
    bool take(int generation, const ArchiveAnswer& answer);

    ArchiveClient& client_;
    HistoryData data_;
    int generation_ = 0;
    int due_ = 0;
};

} // namespace site
