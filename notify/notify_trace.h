#pragma once

#include <QLoggingCategory>

// The notifications' trace for the benchmarks, off unless QT_LOGGING_RULES switches on
// "anemometros.notify.debug": each e-mail queued, by its Message-ID, with the time on
// traceClockMs().
Q_DECLARE_LOGGING_CATEGORY(lcNotify)

namespace notify {

// CLOCK_MONOTONIC in milliseconds: the clock of anemosim's record and of the benchmarks.
qint64 traceClockMs();

} // namespace notify
