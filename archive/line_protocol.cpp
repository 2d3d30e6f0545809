#include "archive/line_protocol.h"

#include "modbus/vocabulary.h"

namespace archive {

namespace {

// "12.3": tenths of the unit, always with their one decimal.
void appendTenths(QByteArray& line, unsigned tenths) {
    line += QByteArray::number(tenths / 10);
    line += '.';
    line += char('0' + tenths % 10);
}

void appendFlag(QByteArray& line, const char* name, bool on) {
    line += name;
    line += on ? "=1" : "=0";
}

// A value, or "<name>_acima_do_limite=1" when the station says it is past what it can show.
void appendValue(QByteArray& line, const char* name, unsigned tenths) {
    line += name;
    if (modbus::overLimit(tenths)) {
        line += "_acima_do_limite=1";
        return;
    }
    line += '=';
    appendTenths(line, tenths);
}

void appendTime(QByteArray& line, qint64 ms) {
    line += ' ';
    line += QByteArray::number(ms);
    line += '\n';
}

} // namespace

QByteArray tagText(const QString& text) {
    QByteArray escaped;
    const QByteArray utf8 = text.toUtf8();
    escaped.reserve(utf8.size() + 4);
    for (const char c : utf8) {
        if (c == ' ' || c == ',' || c == '=' || c == '\\')
            escaped += '\\';
        escaped += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? ' ' : c;
    }
    return escaped;
}

QByteArray tagsText(const StationTags& tags) {
    // An empty tag value is not allowed: such a tag is left out.
    QByteArray text;
    if (!tags.site.isEmpty())
        text += ",local=" + tagText(tags.site);
    text += ",estacao=" + (tags.station == alarms::kPortStation ? QByteArray("-")
                                                                : QByteArray::number(tags.station));
    if (!tags.name.isEmpty())
        text += ",nome=" + tagText(tags.name);
    if (!tags.unit.isEmpty())
        text += ",unidade=" + tagText(tags.unit);
    return text;
}

QByteArray readingLine(const QByteArray& tags, const modbus::StationValues& values, qint64 ms) {
    QByteArray line;
    line.reserve(tags.size() + 220);
    line += "anemometro";
    line += tags;
    line += ' ';
    appendValue(line, "velocidade", values.speed);
    line += ',';
    if (values.has(modbus::status::kDirectionValid) && values.direction < 16) {
        line += "direcao_graus=";
        // 22.5 degrees a compass point: the tenths written as the speed's are.
        appendTenths(line, values.direction * 225u);
        line += ',';
    }
    line += "bateria=";
    line += QByteArray::number(values.battery / 100);
    line += '.';
    line += char('0' + values.battery % 100 / 10);
    line += char('0' + values.battery % 10);
    line += ',';
    appendValue(line, "preset1", values.preset1);
    line += ',';
    appendValue(line, "preset2", values.preset2);
    line += ',';
    appendFlag(line, "alarme_preset1", values.has(modbus::status::kPreset1Alarm));
    line += ',';
    appendFlag(line, "alarme_preset2", values.has(modbus::status::kPreset2Alarm));
    line += ',';
    appendFlag(line, "alarme_sonoro", values.has(modbus::status::kSoundAlarm));
    line += ',';
    appendFlag(line, "rf", values.has(modbus::status::kRf));
    line += ",respondendo=1";
    appendTime(line, ms);
    return line;
}

QByteArray failedLine(const QByteArray& tags, qint64 ms) {
    QByteArray line = "anemometro" + tags + " respondendo=0";
    appendTime(line, ms);
    return line;
}

QByteArray alarmLine(const StationTags& tags, alarms::Kind kind, alarms::State state, bool listed,
                     qint64 ms, const QString& acknowledgedBy) {
    static const char* const kPriorities[] = {"alta", "media", "baixa"};
    StationTags without = tags;
    without.unit.clear();
    QByteArray line = "alarme" + tagsText(without) + ",alarme=" + tagText(alarms::kindText(kind)) +
                      ",prioridade=" + kPriorities[int(alarms::priorityOf(kind))];
    if (listed && state == alarms::State::Acknowledged && !acknowledgedBy.isEmpty())
        line += ",por=" + tagText(acknowledgedBy);
    line += " estado=";
    // 1 ATIVO, 2 RECONHECIDO, 3 NORMALIZADO, 4 SUPRIMIDO, in the order of the list's states.
    line += listed ? char('1' + int(state)) : '0';
    appendTime(line, ms);
    return line;
}

std::optional<qint64> lineTimeMs(QByteArrayView line) {
    line = line.trimmed();
    const qsizetype space = line.lastIndexOf(' ');
    if (space < 0)
        return std::nullopt;
    bool ok = false;
    const qint64 ms = line.sliced(space + 1).toLongLong(&ok);
    return ok ? std::optional<qint64>(ms) : std::nullopt;
}

} // namespace archive
