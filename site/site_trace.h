#pragma once

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>

#include <optional>

// The site view's trace for the benchmarks, off unless QT_LOGGING_RULES switches on
// "anemometros.site.debug": each state put on a tile and each change of the broker connection,
// with the time on traceClockMs().
Q_DECLARE_LOGGING_CATEGORY(lcSite)

namespace site {

// CLOCK_MONOTONIC in milliseconds: the clock of anemosim's record and of the benchmarks.
qint64 traceClockMs();

// Lines of the trace kept to be written together to standard error, each as Qt's own handler
// writes a message of the category ("anemometros.site: shown ..."): the tiles of one batch
// cost one write rather than one each.
class TraceLines {
public:
    TraceLines() = default;
    TraceLines(const TraceLines&) = delete;
    TraceLines& operator=(const TraceLines&) = delete;
    ~TraceLines() { write(); }

    // The line of a state put on a tile: "shown <prefix> <station> <speed> <battery> <ms>",
    // each number as QString::number writes it, "null" for none.
    void shown(const QString& prefix, int station, std::optional<double> speed,
               std::optional<double> battery, qint64 ms);
    // Writes the lines kept.
    void write();

private:
    QByteArray lines_;
};

} // namespace site
