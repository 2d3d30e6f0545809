#include "health/health_monitor.h"

#include "readings/reply.h"
#include "toolkit/failure.h"
#include "toolkit/messages.h"

#include <QFileInfo>
#include <QTimer>

namespace health {

namespace {

// The battery's lowest icon band: below 3,40 V.
constexpr int kLowBatteryHundredths = 340;

} // namespace

HealthMonitor::HealthMonitor(Station station, QObject* parent)
    : QObject(parent), station_(std::move(station)), startMs_(station_.nowMs()) {}

QString HealthMonitor::failureText(modbus::ReplyKind kind) {
    switch (kind) {
    case modbus::ReplyKind::Good:
        break;
    case modbus::ReplyKind::NoReply:
        return QStringLiteral("sem resposta");
    case modbus::ReplyKind::BadCrc:
        return QStringLiteral("CRC inválido");
    case modbus::ReplyKind::WrongAddress:
        return QStringLiteral("endereço errado");
    case modbus::ReplyKind::WrongFunction:
        return QStringLiteral("função inválida");
    case modbus::ReplyKind::TooShort:
        return QStringLiteral("resposta curta");
    }
    return {};
}

void HealthMonitor::pollFinished(const bus::PollOutcome& outcome,
                                 const readings::Reading* reading) {
    if (outcome.cutShort)
        return; // the operator closed the port, the station did not fail
    const int n = outcome.station;
    if (!outcome.portLost)
        portClosed_[stationSlot(n)] = false;
    StationHealth& health = stations_[stationSlot(n)];
    const std::optional<qint64> lastGood = health.lastGoodMs();
    const qint64 now = station_.nowMs();
    switch (health.record(outcome.kind, now)) {
    case StationHealth::Change::None:
        break;
    case StationHealth::Change::StoppedAnswering:
        note(station_.settings.name(n), QStringLiteral("SEM RESPOSTA"),
             failureText(health.lastFailure()));
        break;
    case StationHealth::Change::AnsweringAgain:
        note(station_.settings.name(n), QStringLiteral("RESPONDENDO"),
             QStringLiteral("após %1 s").arg((now - lastGood.value_or(startMs_)) / 1000));
        break;
    }
    if (outcome.values && reading)
        followAlarms(n, *outcome.values, *reading);
}

void HealthMonitor::followAlarms(int n, const modbus::StationValues& values,
                                 const readings::Reading& reading) {
    namespace status = modbus::status;
    Alarms& alarms = alarms_[stationSlot(n)];
    const QString name = station_.settings.name(n);
    const bool first = !alarms.known;
    alarms.known = true;
    // The first reading after start tells only the states that are not merely "off".
    const auto follow = [&](bool& was, bool now, const char* on, const char* off) {
        if (now != was && (now || !first))
            note(name, QLatin1String(now ? on : off));
        was = now;
    };
    const auto followPreset = [&](bool& on, std::uint16_t& peak, bool now, const char* onText,
                                  const char* offText) {
        if (now && !on)
            note(name, QLatin1String(onText));
        else if (!now && on)
            note(name, QLatin1String(offText), readings::speedWithUnit(peak, reading.unitSuffix));
        peak = now ? std::max<std::uint16_t>(on ? peak : 0, values.speed) : 0;
        on = now;
    };
    followPreset(alarms.preset1, alarms.peak1, values.has(status::kPreset1Alarm), "PRESET1 ATIVO",
                 "PRESET1 NORMAL");
    followPreset(alarms.preset2, alarms.peak2, values.has(status::kPreset2Alarm), "PRESET2 ATIVO",
                 "PRESET2 NORMAL");
    follow(alarms.sound, values.has(status::kSoundAlarm), "ALARME SONORO ON", "ALARME SONORO OFF");
    follow(alarms.rfOff, !values.has(status::kRf), "RF OFF", "RF ON");
    const bool low = values.battery < kLowBatteryHundredths;
    if (low && !alarms.batteryLow)
        note(name, QStringLiteral("BATERIA BAIXA"), reading.batteryText + QStringLiteral(" V"));
    alarms.batteryLow = low;
}

QString HealthMonitor::stateText(int station) const {
    const StationHealth& health = stations_[stationSlot(station)];
    if (portClosedFor(station))
        return QStringLiteral("Porta fechada");
    if (health.sinceStart().polls == 0)
        return QStringLiteral("Aguardando");
    return health.answering() ? QStringLiteral("Respondendo") : QStringLiteral("Sem resposta");
}

void HealthMonitor::portStateChanged(bus::PortState from, bus::PortState to,
                                     const QString& portName) {
    if (to != bus::PortState::Open)
        portClosed_.fill(true);
    if (to == bus::PortState::Lost)
        note(portName, QStringLiteral("PORTA PERDIDA"));
    else if (from == bus::PortState::Lost && to == bus::PortState::Open)
        note(portName, QStringLiteral("PORTA REABERTA"));
}

void HealthMonitor::programStarted() {
    try {
        const QString folder = station_.logFolder();
        if (QFileInfo(folder).isDir())
            journal::prune(folder, QDateTime::fromMSecsSinceEpoch(station_.nowMs()).date());
        else
            journalFailing_ = true; // the main window's start has already reported why
    } catch (const toolkit::Failure&) {
        journalFailing_ = true; // no Documents folder: reported at start as well
    }
    note(QStringLiteral("-"), QStringLiteral("INÍCIO"));
}

void HealthMonitor::programEnded() {
    note(QStringLiteral("-"), QStringLiteral("FIM"));
}

void HealthMonitor::logFailed(int station, const QString& text) {
    note(station_.settings.name(station), QStringLiteral("LOG FALHOU"), text);
}

void HealthMonitor::logRecovered(int station, int linesLost) {
    note(station_.settings.name(station), QStringLiteral("LOG NORMAL"),
         linesLost == 1 ? QStringLiteral("1 leitura perdida")
                        : QStringLiteral("%1 leituras perdidas").arg(linesLost));
}

void HealthMonitor::note(const QString& station, const QString& event, const QString& detail) {
    const Event noted{QDateTime::fromMSecsSinceEpoch(station_.nowMs()), station, event, detail};
    if (!events_.isEmpty() && events_.constFirst().at.date() != noted.at.date())
        events_ = {}; // a new day: yesterday's are in yesterday's file
    events_.append(noted);
    // Dropped a quarter at a time, so that a long run of events does not move the list at each.
    if (events_.size() > kMostEventsHeld + kMostEventsHeld / 4)
        events_.remove(0, events_.size() - kMostEventsHeld);
    emit eventNoted(noted);
    try {
        journal::append(station_.logFolder(), noted);
        journalFailing_ = false;
    } catch (const toolkit::Failure& failure) {
        if (journalFailing_) {
            toolkit::reportToStandardError(failure.text(), toolkit::Severity::Error);
            return;
        }
        journalFailing_ = true;
        // After the tick: a box opened here would run its loop inside the poll.
        QTimer::singleShot(0, this, [text = failure.text()] { toolkit::reportError(text); });
    }
}

} // namespace health
