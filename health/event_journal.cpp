#include "health/event_journal.h"

#include "logs/file_io.h"
#include "toolkit/cp1252.h"
#include "toolkit/day_text.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

namespace health::journal {

namespace {

QString field(QString text) {
    for (QChar& c : text) {
        if (c == u';')
            c = u',';
        else if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = u' ';
    }
    return text;
}

QByteArray textLine(const QString& text) {
    return toolkit::toCp1252(text) + "\r\n";
}

} // namespace

QString fileName(const QDate& day) {
    return QStringLiteral("Eventos ") + toolkit::dayText(day) + QStringLiteral(".txt");
}

QString line(const Event& event) {
    const QChar separator = u';';
    return event.at.time().toString(QStringLiteral("HH:mm:ss")) + separator + field(event.station) +
           separator + field(event.event) + separator + field(event.detail) + separator;
}

void append(const QString& folder, const Event& event) {
    logs::io::AppendFile file(folder + u'/' + fileName(event.at.date()));
    QByteArray bytes;
    if (file.created() || file.empty())
        bytes = textLine(kHeader);
    file.append(bytes + textLine(line(event)));
    file.close();
}

int prune(const QString& folder, const QDate& today) {
    static const QRegularExpression name(
        QStringLiteral("^Eventos (\\d\\d-\\d\\d-\\d\\d\\d\\d)\\.txt$"));
    const QByteArray ownFolder = logs::io::canonicalFolder(folder);
    int deleted = 0;
    for (const QString& entry : QDir(folder).entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = name.match(entry);
        if (!match.hasMatch())
            continue;
        const QDate day = toolkit::dayFromText(match.captured(1));
        if (day.isValid() && day.daysTo(today) > kKeptDays &&
            logs::io::removeFileInFolder(folder + u'/' + entry, ownFolder))
            ++deleted;
    }
    return deleted;
}

QList<Event> read(const QString& folder, const QDate& day) {
    QList<Event> events;
    const std::optional<QByteArray> bytes =
        logs::io::readFileIfPresent(folder + u'/' + fileName(day));
    if (!bytes)
        return events;
    for (QString text : toolkit::fromCp1252(*bytes).split(u'\n')) {
        if (text.endsWith(u'\r'))
            text.chop(1);
        const QStringList fields = text.split(u';');
        if (fields.size() != 5 || !fields[4].isEmpty() || text == kHeader)
            continue;
        const QTime time = QTime::fromString(fields[0], QStringLiteral("HH:mm:ss"));
        if (!time.isValid())
            continue;
        events.append({QDateTime(day, time), fields[1], fields[2], fields[3]});
    }
    return events;
}

} // namespace health::journal
