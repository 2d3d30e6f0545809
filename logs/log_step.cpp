#include "logs/log_step.h"

#include "toolkit/failure.h"
#include "toolkit/messages.h"

#include <utility>

namespace logs {

LogRequest logRequest(int station, const readings::Reading& reading, const QString& stationName,
                      const QString& documentsFolder, const QDateTime& now) {
    return {
        .station = station,
        .indexFile = indexFileName(station),
        .documentsFolder = documentsFolder,
        .now = now,
        .stationName = stationName,
        .unitText = reading.unitText,
        .fields = {.speed = reading.speedText,
                   .direction = reading.directionText,
                   .preset1 = reading.preset1Text,
                   .preset2 = reading.preset2Text,
                   .sound = reading.soundText,
                   .battery = reading.batteryText},
    };
}

void LogStep::pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) {
    if (!reading)
        return;
    const int station = outcome.station;
    int& lost = linesLost_[stationSlot(station)];
    try {
        write(station, *reading);
    } catch (const toolkit::Failure& failure) {
        if (lost++ == 0 && journal_.failed)
            journal_.failed(station, failure.text());
        if (!failures_.isNews(station, failure.text())) {
            toolkit::reportToStandardError(failure.text(), toolkit::Severity::Error);
            return;
        }
        // Shown only when no other box is open; otherwise it is news again at the next poll.
        if (!toolkit::errorReportShowing())
            failures_.shown(station, failure.text());
        throw;
    }
}

void LogStep::write(int station, const readings::Reading& reading) {
    if (!shouldLog(station_.settings.logged(station), reading.rfText))
        return;
    writeLogLine(logRequest(station, reading, station_.settings.name(station),
                            station_.documentsFolder(), QDateTime::currentDateTime()));
    failures_.lineWritten(station);
    if (const int lost = std::exchange(linesLost_[stationSlot(station)], 0);
        lost > 0 && journal_.recovered)
        journal_.recovered(station, lost);
}

} // namespace logs
