#pragma once

#include "site/history_figures.h"

namespace site {

// The report of a period for the record of a claim or a review, as a PDF written with Qt's own
// writer: a page per station with its trend and its daily table, then the alarm list with who
// acknowledged each. A failure to write throws toolkit::Failure with the file error's text.
void writeReport(const QString& path, const HistoryData& data, const QDateTime& madeAt);

} // namespace site
