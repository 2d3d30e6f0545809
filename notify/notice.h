#pragma once

#include "alarms/alarm.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <utility>

namespace notify {

// What happened to an alarm. Reminder and Escalation come while an alarm stays ATIVO without an
// acknowledgement; Test is the operator's "TESTAR NOTIFICAÇÕES".
enum class Event : std::uint8_t {
    Active,
    Normalized,
    Acknowledged,
    Shelved,
    Reminder,
    Escalation,
    Test
};

// The ways out of the program, in the order every listing of them follows.
enum class Channel : std::uint8_t { Email, Webhook, Command };
inline constexpr int kChannels = 3;
inline constexpr Channel kAllChannels[kChannels] = {Channel::Email, Channel::Webhook,
                                                    Channel::Command};

// "ATIVO", "NORMALIZADO", "RECONHECIDO", "SUPRIMIDO", "LEMBRETE", "SEM RECONHECIMENTO", "TESTE".
QString eventText(Event event);
std::optional<Event> eventFromText(const QString& text);
// "e-mail", "webhook", "comando".
QString channelText(Channel channel);

// One alarm event to tell, whole: the queue keeps it as it was when it happened. Times are
// milliseconds since 1970; 0 means none.
struct Notice {
    QString id; // the same for every try of this event: the e-mail's Message-ID is made of it
    Event event = Event::Active;
    alarms::Kind kind = alarms::Kind::Preset2;
    // The alarm list's state ("ATIVO", "RECONHECIDO", "NORMALIZADO", "SUPRIMIDO"), or "NORMAL"
    // for an alarm that left the list.
    QString state;
    int station = 0;     // 0: the port
    QString stationName; // "-" for the port
    QString site;        // where: the station PC's MQTT prefix, else its host name
    qint64 sinceMs = 0;
    std::optional<double> peak;
    QString unit;
    QString acknowledgedBy;
    qint64 shelvedUntilMs = 0;
    int reminder = 0; // which reminder, from 1
    int minutes = 0;  // an escalation's minutes ATIVO without acknowledgement
    QString testedBy; // who asked for a test
    qint64 atMs = 0;  // when it happened: the e-mail's date
    friend bool operator==(const Notice&, const Notice&) = default;
};

// "K&V ANEMÔMETROS: PRESET 2 ATIVO — GUINDASTE NORTE (obra1)".
QString subjectText(const Notice& notice);
// The lines "Alarme: ...", "Prioridade: ...", ... and the program's version, LF-separated.
QString bodyText(const Notice& notice);
// "PRESET 2 ATIVO", "PRESET 2 LEMBRETE 2", "TESTE"; with " (obra2)" after it when the alarm is
// of another site than `ownSite`.
QString whatText(const Notice& notice, const QString& ownSite);
// The program's name and version, as the body's last line gives it.
QString versionText();

// The webhook's JSON body: event, alarm, priority, state, station, name, site, since, peak,
// unit, acknowledged_by, shelved_until and text (the e-mail's subject).
QByteArray webhookJson(const Notice& notice);
// For an ntfy server: the body text with Title, Priority and Tags headers.
struct HttpRequest {
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;
};
HttpRequest ntfyRequest(const Notice& notice);
// ANEMOMETROS_EVENTO=ATIVO, ... for the command's environment.
QStringList commandVariables(const Notice& notice);

// The queue file's form of a notice; none for an object that does not read as one.
QJsonObject noticeJson(const Notice& notice);
std::optional<Notice> noticeFromJson(const QJsonObject& json);

} // namespace notify
