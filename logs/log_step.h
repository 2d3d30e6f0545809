#pragma once

#include "bus/poll_outcome.h"
#include "logs/log_files.h"
#include "logs/repeated_failures.h"
#include "readings/reading_feed.h"
#include "readings/reply.h"
#include "settings/station_settings.h"

#include <QString>

#include <array>
#include <functional>

namespace logs {

// The log line of a reading of `station`: the reading's own texts, with the direction as the
// panel shows it.
LogRequest logRequest(int station, const readings::Reading& reading, const QString& stationName,
                      const QString& documentsFolder, const QDateTime& now);

// The log step of every good reply: when the station's log switch is on and its RF flag set,
// one line into the station's log file of the day (created with its header and recorded in
// the station's index file). A failure goes to the standard error report once per station and
// text while it goes on; its repeats go to standard error only.
class LogStep : public readings::ReadingListener {
public:
    struct Station {
        const settings::StationSettings& settings; // names and log switches
        std::function<QString()> documentsFolder;
    };

    // Where a station's log failures are told besides the box: when they start, and when
    // lines are written again, with the count of readings lost meanwhile.
    struct Journal {
        std::function<void(int station, const QString& text)> failed;
        std::function<void(int station, int linesLost)> recovered;
    };

    explicit LogStep(Station station) : station_(std::move(station)) {}

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void setJournal(Journal journal) { journal_ = std::move(journal); }

private:
    void write(int station, const readings::Reading& reading);

    Station station_;
    Journal journal_;
    RepeatedFailures failures_;
    std::array<int, kStations> linesLost_{}; // since the station's log began to fail
};

} // namespace logs
