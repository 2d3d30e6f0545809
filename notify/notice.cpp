#include "notify/notice.h"

#include "alarms/alarm_texts.h"
#include "notify/mail_message.h"
#include "toolkit/numbers.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QTimeZone>

namespace notify {

namespace {

constexpr const char* kEventTexts[] = {"ATIVO",    "NORMALIZADO",        "RECONHECIDO", "SUPRIMIDO",
                                       "LEMBRETE", "SEM RECONHECIMENTO", "TESTE"};

QString dashIfEmpty(const QString& text) {
    return text.isEmpty() ? QStringLiteral("-") : text;
}

// "07-12-2026 14:03:05", local time.
QString dateText(qint64 ms) {
    return ms == 0
               ? QString()
               : QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd-MM-yyyy HH:mm:ss"));
}

// "2026-12-07T14:30:05-03:00", as the alarm list gives its times.
QJsonValue isoValue(qint64 ms) {
    if (ms == 0)
        return QJsonValue::Null;
    const QDateTime time = QDateTime::fromMSecsSinceEpoch(ms);
    return time.toTimeZone(QTimeZone(time.offsetFromUtc())).toString(Qt::ISODate);
}

QJsonValue textValue(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QString stationLine(const Notice& n) {
    if (n.station == alarms::kPortStation)
        return QStringLiteral("-");
    return QStringLiteral("%1 %2").arg(n.station).arg(n.stationName).trimmed();
}

QString peakNumber(const Notice& n) {
    return n.peak ? toolkit::decimalText(*n.peak, 1) : QString();
}

// What comes before the alarm's lines: why a reminder, an escalation or a test is sent.
QString leadLine(const Notice& n) {
    switch (n.event) {
    case Event::Reminder:
        return QStringLiteral("Lembrete %1: o alarme continua ATIVO sem reconhecimento.")
            .arg(n.reminder);
    case Event::Escalation:
        return QStringLiteral("O alarme está ATIVO há %1 min sem reconhecimento.").arg(n.minutes);
    default:
        return {};
    }
}

// ntfy's priorities: 5 urgent, 4 high, 3 default.
QByteArray ntfyPriority(const Notice& n) {
    const bool calls =
        n.event == Event::Active || n.event == Event::Reminder || n.event == Event::Escalation;
    if (!calls)
        return "3";
    switch (alarms::priorityOf(n.kind)) {
    case alarms::Priority::High:
        return "5";
    case alarms::Priority::Medium:
        return "4";
    case alarms::Priority::Low:
        break;
    }
    return "3";
}

// Emoji short codes the ntfy apps show before the title.
QByteArray ntfyTag(const Notice& n) {
    switch (n.event) {
    case Event::Active:
        return alarms::priorityOf(n.kind) == alarms::Priority::High ? "rotating_light" : "warning";
    case Event::Normalized:
        return "white_check_mark";
    case Event::Acknowledged:
        return "ballot_box_with_check";
    case Event::Shelved:
        return "mute";
    case Event::Reminder:
        return "alarm_clock";
    case Event::Escalation:
        return "sos";
    case Event::Test:
        break;
    }
    return "test_tube";
}

} // namespace

QString eventText(Event event) {
    return QString::fromLatin1(kEventTexts[int(event)]);
}

std::optional<Event> eventFromText(const QString& text) {
    for (int i = 0; i < int(std::size(kEventTexts)); ++i) {
        if (text == QLatin1String(kEventTexts[i]))
            return Event(i);
    }
    return std::nullopt;
}

QString channelText(Channel channel) {
    switch (channel) {
    case Channel::Email:
        return QStringLiteral("e-mail");
    case Channel::Webhook:
        return QStringLiteral("webhook");
    case Channel::Command:
        break;
    }
    return QStringLiteral("comando");
}

QString whatText(const Notice& n, const QString& ownSite) {
    if (n.event == Event::Test)
        return eventText(n.event);
    QString what = QStringLiteral("%1 %2").arg(alarms::kindText(n.kind), eventText(n.event));
    if (n.event == Event::Reminder)
        what += QStringLiteral(" %1").arg(n.reminder);
    if (!n.site.isEmpty() && n.site != ownSite)
        what += QStringLiteral(" (%1)").arg(n.site);
    return what;
}

QString versionText() {
    return QStringLiteral("K&V ANEMÔMETROS " ANEMOMETROS_VERSION);
}

QString subjectText(const Notice& n) {
    const QString site = n.site.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(n.site);
    if (n.event == Event::Test)
        return QStringLiteral("K&V ANEMÔMETROS: TESTE DE NOTIFICAÇÃO") + site;
    QString subject =
        QStringLiteral("K&V ANEMÔMETROS: %1 %2").arg(alarms::kindText(n.kind), eventText(n.event));
    if (n.station != alarms::kPortStation)
        subject += QStringLiteral(" — ") + dashIfEmpty(n.stationName);
    return subject + site;
}

QString bodyText(const Notice& n) {
    QStringList lines;
    if (n.event == Event::Test) {
        lines << QStringLiteral("Mensagem de teste pedida por %1 pelo botão TESTAR NOTIFICAÇÕES.")
                     .arg(dashIfEmpty(n.testedBy))
              << QStringLiteral("Local: %1").arg(dashIfEmpty(n.site))
              << QStringLiteral("Hora: %1").arg(dateText(n.atMs));
        return (lines << versionText()).join(u'\n') + u'\n';
    }
    if (const QString lead = leadLine(n); !lead.isEmpty())
        lines << lead;
    lines << QStringLiteral("Alarme: %1").arg(alarms::kindText(n.kind))
          << QStringLiteral("Prioridade: %1").arg(alarms::priorityText(alarms::priorityOf(n.kind)))
          << QStringLiteral("Estado: %1").arg(dashIfEmpty(n.state))
          << QStringLiteral("Estação: %1").arg(stationLine(n))
          << QStringLiteral("Local: %1").arg(dashIfEmpty(n.site))
          << QStringLiteral("Desde: %1").arg(dashIfEmpty(dateText(n.sinceMs)))
          << QStringLiteral("Pico: %1").arg(dashIfEmpty(alarms::peakText(n.peak, n.unit)))
          << QStringLiteral("Reconhecido por: %1").arg(dashIfEmpty(n.acknowledgedBy));
    if (n.shelvedUntilMs != 0)
        lines << QStringLiteral("Suprimido até: %1").arg(dateText(n.shelvedUntilMs));
    return (lines << versionText()).join(u'\n') + u'\n';
}

QByteArray webhookJson(const Notice& n) {
    const bool test = n.event == Event::Test;
    const QJsonObject json{
        {QStringLiteral("event"), eventText(n.event)},
        {QStringLiteral("alarm"), test ? QJsonValue::Null : QJsonValue(alarms::kindText(n.kind))},
        {QStringLiteral("priority"),
         test ? QJsonValue::Null : QJsonValue(alarms::priorityText(alarms::priorityOf(n.kind)))},
        {QStringLiteral("state"), textValue(n.state)},
        {QStringLiteral("station"), test ? QJsonValue::Null : QJsonValue(n.station)},
        {QStringLiteral("name"), textValue(n.stationName)},
        {QStringLiteral("site"), textValue(n.site)},
        {QStringLiteral("since"), isoValue(n.sinceMs)},
        {QStringLiteral("peak"), n.peak ? QJsonValue(*n.peak) : QJsonValue(QJsonValue::Null)},
        {QStringLiteral("unit"), textValue(n.peak ? n.unit : QString())},
        {QStringLiteral("acknowledged_by"), textValue(n.acknowledgedBy)},
        {QStringLiteral("shelved_until"), isoValue(n.shelvedUntilMs)},
        {QStringLiteral("text"), subjectText(n)},
    };
    return QJsonDocument(json).toJson(QJsonDocument::Compact);
}

HttpRequest ntfyRequest(const Notice& n) {
    // ntfy reads an RFC 2047 title, so the accents of the subject reach the phone.
    return {{{"Title", encodedHeaderText(subjectText(n), " ")},
             {"Priority", ntfyPriority(n)},
             {"Tags", ntfyTag(n) + ",anemometros"},
             {"Content-Type", "text/plain; charset=utf-8"}},
            bodyText(n).toUtf8()};
}

QStringList commandVariables(const Notice& n) {
    const bool test = n.event == Event::Test;
    const QString station = test                                ? QString()
                            : n.station == alarms::kPortStation ? QStringLiteral("-")
                                                                : QString::number(n.station);
    return {
        QStringLiteral("ANEMOMETROS_EVENTO=") + eventText(n.event),
        QStringLiteral("ANEMOMETROS_ALARME=") + (test ? QString() : alarms::kindText(n.kind)),
        QStringLiteral("ANEMOMETROS_ESTADO=") + n.state,
        QStringLiteral("ANEMOMETROS_PRIORIDADE=") +
            (test ? QString() : alarms::priorityText(alarms::priorityOf(n.kind))),
        QStringLiteral("ANEMOMETROS_ESTACAO=") + station,
        QStringLiteral("ANEMOMETROS_NOME=") + n.stationName,
        QStringLiteral("ANEMOMETROS_LOCAL=") + n.site,
        QStringLiteral("ANEMOMETROS_PICO=") + peakNumber(n),
        QStringLiteral("ANEMOMETROS_UNIDADE=") + (n.peak ? n.unit : QString()),
        QStringLiteral("ANEMOMETROS_DESDE=") + dateText(n.sinceMs),
        QStringLiteral("ANEMOMETROS_RECONHECIDO_POR=") + n.acknowledgedBy,
    };
}

QJsonObject noticeJson(const Notice& n) {
    QJsonObject json{
        {QStringLiteral("id"), n.id},
        {QStringLiteral("event"), eventText(n.event)},
        {QStringLiteral("alarm"), alarms::kindText(n.kind)},
        {QStringLiteral("state"), n.state},
        {QStringLiteral("station"), n.station},
        {QStringLiteral("name"), n.stationName},
        {QStringLiteral("site"), n.site},
        {QStringLiteral("since_ms"), double(n.sinceMs)},
        {QStringLiteral("unit"), n.unit},
        {QStringLiteral("acknowledged_by"), n.acknowledgedBy},
        {QStringLiteral("shelved_until_ms"), double(n.shelvedUntilMs)},
        {QStringLiteral("reminder"), n.reminder},
        {QStringLiteral("minutes"), n.minutes},
        {QStringLiteral("tested_by"), n.testedBy},
        {QStringLiteral("at_ms"), double(n.atMs)},
    };
    if (n.peak)
        json.insert(QStringLiteral("peak"), *n.peak);
    return json;
}

std::optional<Notice> noticeFromJson(const QJsonObject& json) {
    const std::optional<Event> event = eventFromText(json.value(u"event").toString());
    const std::optional<alarms::Kind> kind = alarms::kindFromText(json.value(u"alarm").toString());
    const QString id = json.value(u"id").toString();
    const int station = json.value(u"station").toInt(-1);
    if (!event || !kind || id.isEmpty() || station < 0 || station > kStations)
        return std::nullopt;
    Notice n;
    n.id = id;
    n.event = *event;
    n.kind = *kind;
    n.state = json.value(u"state").toString();
    n.station = station;
    n.stationName = json.value(u"name").toString();
    n.site = json.value(u"site").toString();
    n.sinceMs = qint64(json.value(u"since_ms").toDouble());
    if (json.value(u"peak").isDouble())
        n.peak = json.value(u"peak").toDouble();
    n.unit = json.value(u"unit").toString();
    n.acknowledgedBy = json.value(u"acknowledged_by").toString();
    n.shelvedUntilMs = qint64(json.value(u"shelved_until_ms").toDouble());
    n.reminder = json.value(u"reminder").toInt();
    n.minutes = json.value(u"minutes").toInt();
    n.testedBy = json.value(u"tested_by").toString();
    n.atMs = qint64(json.value(u"at_ms").toDouble());
    return n;
}

} // namespace notify
