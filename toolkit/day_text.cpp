#include "toolkit/day_text.h"

namespace toolkit {

namespace {

const QString kDayPattern = QStringLiteral("dd-MM-yyyy");

} // namespace

QString dayText(const QDate& day) {
    return day.toString(kDayPattern);
}

QDate dayFromText(const QString& text) {
    return QDate::fromString(text, kDayPattern);
}

} // namespace toolkit
