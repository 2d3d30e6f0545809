#pragma once

#include <QByteArray>

namespace toolkit {

// How grave a standard-error report is, as the journal ranks it (sd-daemon's prefixes).
enum class Severity { Error = 3, Warning = 4, Information = 6 };

// Whether `fd` is the stream that JOURNAL_STREAM names ("device:inode", as systemd sets it
// for a service whose standard error goes to the journal).
bool isJournalStream(const QByteArray& journalStream, int fd);

// "<3>", "<4>" or "<6>" while standard error is the journal, so that it files each report
// under its priority; empty otherwise, and the reports read as they always have.
QByteArray severityPrefix(Severity severity);

} // namespace toolkit
