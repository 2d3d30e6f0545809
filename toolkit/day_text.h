#pragma once

#include <QDate>
#include <QString>

namespace toolkit {

// "07-12-2026": the day as the files' names and the windows write it (log files, journals, alarm
// day files, exports).
QString dayText(const QDate& day);
// The day such a text names; invalid for any other text.
QDate dayFromText(const QString& text);

} // namespace toolkit
