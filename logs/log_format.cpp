#include "logs/log_format.h"

#include "toolkit/day_text.h"

namespace logs {

namespace {

// A file name holds every character but the folder separators and NUL; control characters
// are replaced too, so that no name is hard to type or to show.
bool unsafeInFileName(char16_t c) {
    return c == u'/' || c == u'\\' || c < 0x20 || c == 0x7F || (c >= 0x80 && c <= 0x9F);
}

} // namespace

QString logLine(const QTime& time, const LogFields& fields) {
    const QChar separator = u';';
    return time.toString(QStringLiteral("HH:mm:ss")) + separator + fields.speed + separator +
           fields.direction + separator + fields.preset1 + separator + fields.preset2 + separator +
           fields.sound + separator + fields.battery + separator;
}

QString headerLine(const QString& unitText) {
    return QStringLiteral("HORA;VELOCIDADE(") + unitText + QStringLiteral(");DIRECAO;PRESET1(") +
           unitText + QStringLiteral(");PRESET2(") + unitText +
           QStringLiteral(");ALARME SONORO;BATERIA(V)");
}

QString dateText(const QDate& date) {
    return toolkit::dayText(date);
}

QString safeStationName(const QString& stationName) {
    QString safe = stationName;
    for (QChar& ch : safe) {
        if (unsafeInFileName(ch.unicode()))
            ch = u'_';
    }
    return safe;
}

QString logFileName(const QDate& date, const QString& stationName) {
    return dateText(date) + u' ' + safeStationName(stationName) + QStringLiteral(".txt");
}

QString logFolder(const QString& documentsFolder) {
    return documentsFolder + QStringLiteral("/log_zareraziru");
}

QString indexFileName(int station) {
    return QStringLiteral("StatusLOG%1.txt").arg(station);
}

bool shouldLog(bool logBoxChecked, const QString& rfText) {
    return logBoxChecked && rfText == QStringLiteral("ON");
}

} // namespace logs
