#pragma once

#include <QLoggingCategory>

// The site view's trace for the benchmarks, off unless QT_LOGGING_RULES switches on
// "anemometros.site.debug": each state put on a tile and each change of the broker connection,
// with the time on traceClockMs().
Q_DECLARE_LOGGING_CATEGORY(lcSite)

namespace site {

// CLOCK_MONOTONIC in milliseconds: the clock of anemosim's record and of the benchmarks.
qint64 traceClockMs();

} // namespace site
