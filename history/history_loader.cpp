#include "history/history_loader.h"

#include "history/prepared.h"

#include "logs/file_io.h"
#include "logs/log_format.h"
#include "toolkit/failure.h"

#include <QDir>
#include <QPromise>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace history {

namespace {

// One file's readings; a file that cannot be read is no data, not a failure.
std::optional<DayLog> readDay(const QString& folder, const QString& station, const QDate& day) {
    try {
        const std::optional<QByteArray> bytes =
            logs::io::readFileIfPresent(folder + u'/' + logs::logFileName(day, station));
        if (!bytes)
            return std::nullopt;
        return readLog(*bytes);
    } catch (const toolkit::Failure&) {
        return std::nullopt;
    }
}

void addDay(StationHistory& history, const QDate& day, const QString& folder,
            const LiveReadings::Day& today, const QDate& todayDate) {
    const std::optional<DayLog> log = readDay(folder, history.station, day);
    if (log) {
        if (log->skipped > 0)
            history.skipped[day] = log->skipped;
        if (!log->unit.isEmpty() || history.unit.isEmpty())
            history.unit = log->unit;
    }
    std::vector<Sample> samples = log ? log->samples : std::vector<Sample>{};
    if (day == todayDate) {
        samples = mergeToday(samples, today.samples);
        if (!today.samples.empty() && !today.unit.isEmpty())
            history.unit = today.unit;
    }
    if (!samples.empty())
        history.days[day] = std::move(samples);
}

} // namespace

std::vector<Sample> mergeToday(const std::vector<Sample>& fromFile,
                               const std::vector<Sample>& held) {
    if (held.empty())
        return fromFile;
    std::vector<Sample> merged;
    const int heldFrom = held.front().secondOfDay;
    for (const Sample& sample : fromFile) {
        if (sample.secondOfDay >= heldFrom)
            break;
        merged.push_back(sample);
    }
    merged.insert(merged.end(), held.begin(), held.end());
    return merged;
}

std::map<QString, QList<QDate>> indexFolder(const QString& folder) {
    std::map<QString, QList<QDate>> stations;
    for (const QString& name : QDir(folder).entryList(QDir::Files)) {
        const LogName parsed = parseLogName(name);
        if (parsed.day.isValid())
            stations[parsed.station].append(parsed.day);
    }
    for (auto& [station, days] : stations)
        std::sort(days.begin(), days.end(), std::greater<>());
    return stations;
}

StationHistory readStation(const QString& folder, const QString& station, const QList<QDate>& days,
                           const LiveReadings::Day& today, const QDate& todayDate) {
    StationHistory history;
    history.station = station;
    for (const QDate& day : days)
        addDay(history, day, folder, today, todayDate);
    return history;
}

QFuture<Loaded> loadStation(const QString& folder, const QString& station, const QList<QDate>& days,
                            LiveReadings::Day today, const QDate& todayDate, const Choice& choice,
                            const QDateTime& now) {
    return QtConcurrent::run([=](QPromise<Loaded>& promise) {
        promise.setProgressRange(0, int(days.size()));
        auto history = std::make_shared<StationHistory>();
        history->station = station;
        for (int i = 0; i < days.size(); ++i) {
            if (promise.isCanceled())
                return;
            addDay(*history, days[i], folder, today, todayDate);
            promise.setProgressValue(i + 1);
        }
        Prepared prepared = prepare(*history, choice, now);
        promise.addResult(Loaded{std::move(history), std::move(prepared)});
    });
}

QFuture<Loaded> prepareAgain(std::shared_ptr<StationHistory> data, const Choice& choice,
                             const QDateTime& now) {
    return QtConcurrent::run([=] {
        Prepared prepared = prepare(*data, choice, now);
        return Loaded{data, std::move(prepared)};
    });
}

} // namespace history
