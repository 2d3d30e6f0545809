#pragma once

#include "alarms/alarm.h"
#include "modbus/rtu.h"

#include <QByteArray>
#include <QString>

// The lines the archive writes, in InfluxDB's line protocol: VictoriaMetrics and InfluxDB 1.x
// both take them at /write, VictoriaMetrics naming each field's series "<measurement>_<field>".
namespace archive {

// The tags that name one station's series.
struct StationTags {
    QString site;    // local
    int station = 0; // 1..8; 0 for the port
    QString name;
    QString unit; // "m/s", "km/h", "kn"; empty: no unidade tag
};

// A tag's key or value as the protocol wants it: blanks, commas and equals signs behind a
// backslash (a backslash too, so a trailing one escapes nothing), control characters as blanks.
QByteArray tagText(const QString& text);
// ",local=obra1,estacao=3,nome=GUINDASTE\ NORTE,unidade=km/h"; an empty value leaves its tag out.
QByteArray tagsText(const StationTags& tags);

// A good reply, at the moment it was read: every value, those the station marks over its limit
// replaced by "<field>_acima_do_limite=1", the direction left out when marked invalid.
// `tags` is tagsText() of the station.
QByteArray readingLine(const QByteArray& tags, const modbus::StationValues& values, qint64 ms);
// A poll that got no good reply.
QByteArray failedLine(const QByteArray& tags, qint64 ms);
// One state of an alarm of the list; `listed` false: it left the list (estado=0). An
// acknowledgement carries who gave it as the tag "por", for the site's report.
QByteArray alarmLine(const StationTags& tags, alarms::Kind kind, alarms::State state, bool listed,
                     qint64 ms, const QString& acknowledgedBy = {});

// The time stamp that ends a line, in milliseconds; nothing when the line has none.
std::optional<qint64> lineTimeMs(QByteArrayView line);

} // namespace archive
