#include "alarms/alarm_day_file.h"

#include "alarms/alarm_texts.h"
#include "logs/file_io.h"
#include "settings/station_settings.h"
#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"
#include "toolkit/day_text.h"
#include "toolkit/file_replace.h"
#include "toolkit/numbers.h"

#include <QDateTime>

namespace alarms {

namespace {

const QString kTimeFormat = QStringLiteral("dd/MM/yyyy HH:mm:ss");

// The columns before UNIDADE are those of the first files, in their order.
const QStringList kColumns{
    QStringLiteral("ESTAÇÃO"),        QStringLiteral("ALARME"), QStringLiteral("PRIORIDADE"),
    QStringLiteral("VEIO"),           QStringLiteral("PICO"),   QStringLiteral("RECONHECIDO POR"),
    QStringLiteral("RECONHECIDO ÀS"), QStringLiteral("FOI"),    QStringLiteral("DURAÇÃO (s)"),
    QStringLiteral("UNIDADE"),        QStringLiteral("Nº")};
enum Column { Name, Alarm, Priority, Came, Peak, AckBy, AckAt, Went, Duration, Unit, Number };
constexpr int kFirstFormColumns = Duration + 1;

std::optional<qint64> timeOf(const QString& text) {
    const QDateTime at = QDateTime::fromString(text, kTimeFormat);
    if (!at.isValid())
        return std::nullopt;
    return at.toMSecsSinceEpoch();
}

// The station a line of the first files names, by its name as configured now.
int stationNamed(const QString& name, Kind kind, const settings::StationSettings& stations) {
    if (kind == Kind::PortClosed)
        return kPortStation;
    for (int station = 1; station <= kStations; ++station) {
        if (stationName(stations, station) == name)
            return station;
    }
    return DayRecord::kUnknownStation;
}

std::optional<DayRecord> recordOf(const QStringList& cells,
                                  const settings::StationSettings& stations) {
    if (cells.size() < kFirstFormColumns)
        return std::nullopt;
    DayRecord record;
    const std::optional<Kind> kind = kindFromText(cells.at(Alarm));
    const std::optional<qint64> came = timeOf(cells.at(Came));
    const std::optional<qint64> went = timeOf(cells.at(Went));
    if (!kind || !came || !went)
        return std::nullopt;
    record.kind = *kind;
    record.cameMs = *came;
    record.wentMs = *went;
    record.stationName = cells.at(Name);
    // "43,0" with its unit beside, or "43,0 km/h" in the first files.
    const QString peak = cells.at(Peak).trimmed();
    if (!peak.isEmpty()) {
        bool ok = false;
        const double value = peak.section(u' ', 0, 0).replace(u',', u'.').toDouble(&ok);
        if (!ok)
            return std::nullopt;
        record.peak = value;
        record.unit = peak.section(u' ', 1);
    }
    record.acknowledgedBy = cells.at(AckBy);
    if (!record.acknowledgedBy.isEmpty())
        record.acknowledgedAtMs = timeOf(cells.at(AckAt)).value_or(0);
    if (cells.size() <= Number) {
        record.station = stationNamed(record.stationName, record.kind, stations);
        return record;
    }
    record.unit = cells.at(Unit);
    bool ok = false;
    const int number = cells.at(Number).toInt(&ok);
    record.station = cells.at(Number) == u"-"                  ? kPortStation
                     : ok && validStation(record.kind, number) ? number
                                                               : DayRecord::kUnknownStation;
    return record;
}

QString path(const QString& folder, const QDate& day) {
    return folder + u'/' + recordFileName(day);
}

} // namespace

QString recordFileName(const QDate& day) {
    return QStringLiteral("Alarmes ") + toolkit::dayText(day) + QStringLiteral(".csv");
}

QDate dayOf(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).date();
}

QByteArray dayFileHeader() {
    return toolkit::toCp1252(toolkit::csvLine(kColumns));
}

QByteArray dayFileLine(const DayRecord& record, const settings::StationSettings& stations,
                       qint64 nowMs) {
    const QString name = recordStationName(stations, record);
    const QString number =
        record.station == DayRecord::kUnknownStation ? QString() : stationText(record.station);
    return toolkit::toCp1252(
        toolkit::csvLine({name, kindText(record.kind), priorityText(priorityOf(record.kind)),
                          dateTimeText(record.cameMs),
                          record.peak ? toolkit::decimalText(*record.peak, 1) : QString(),
                          record.acknowledgedBy, dateTimeText(record.acknowledgedAtMs),
                          record.wentMs != 0 ? dateTimeText(record.wentMs) : QStringLiteral("-"),
                          QString::number(std::max<qint64>(record.durationMs(nowMs), 0) / 1000),
                          record.peak ? record.unit : QString(), number}));
}

QList<DayRecord> DayFile::records() const {
    QList<DayRecord> records;
    for (const Line& line : lines) {
        if (line.record)
            records.append(*line.record);
    }
    return records;
}

DayFile parseDayFile(const QByteArray& bytes, const settings::StationSettings& stations) {
    DayFile file;
    const QByteArray header = dayFileHeader();
    bool first = true;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        if (std::exchange(first, false) && line.startsWith(toolkit::toCp1252(kColumns.first()))) {
            file.currentForm = line + "\r\n" == header;
            continue;
        }
        std::optional<DayRecord> record =
            recordOf(toolkit::csvCells(toolkit::fromCp1252(line)), stations);
        file.lines.append({std::move(record), line + "\r\n"});
    }
    return file;
}

QByteArray renderDayFile(const DayFile& file, const settings::StationSettings& stations) {
    QByteArray bytes = dayFileHeader();
    for (const DayFile::Line& line : file.lines)
        bytes += line.record ? dayFileLine(*line.record, stations, 0) : line.bytes;
    return bytes;
}

DayFile readDayFile(const QString& folder, const QDate& day,
                    const settings::StationSettings& stations) {
    const std::optional<QByteArray> bytes = logs::io::readFileIfPresent(path(folder, day));
    return bytes ? parseDayFile(*bytes, stations) : DayFile{};
}

void appendToDayFile(const QString& folder, const QDate& day, const QList<DayRecord>& records,
                     const settings::StationSettings& stations, bool checkForm) {
    QByteArray lines;
    for (const DayRecord& record : records)
        lines += dayFileLine(record, stations, 0);
    if (checkForm) {
        const std::optional<QByteArray> bytes = logs::io::readFileIfPresent(path(folder, day));
        const DayFile file = bytes ? parseDayFile(*bytes, stations) : DayFile{};
        if (bytes && !bytes->isEmpty() && !file.currentForm) {
            toolkit::replaceFileContents(path(folder, day), renderDayFile(file, stations) + lines);
            return;
        }
    }
    logs::io::AppendFile file(path(folder, day));
    file.append((file.created() || file.empty() ? dayFileHeader() : QByteArray()) + lines);
    file.close();
}

bool acknowledgeInDayFile(const QString& folder, const QDate& day,
                          const Acknowledgement& acknowledgement,
                          const settings::StationSettings& stations) {
    DayFile file = readDayFile(folder, day, stations);
    bool reached = false;
    for (DayFile::Line& line : file.lines) {
        if (!line.record || !acknowledgement.reaches(*line.record))
            continue;
        line.record->acknowledgedBy = acknowledgement.user;
        line.record->acknowledgedAtMs = acknowledgement.atMs;
        reached = true;
    }
    if (reached)
        toolkit::replaceFileContents(path(folder, day), renderDayFile(file, stations));
    return reached;
}

} // namespace alarms
