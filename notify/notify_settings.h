#pragma once

#include "alarms/alarm.h"
#include "notify/notice.h"
#include "toolkit/ini_text.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace notify {

// How the mail server's connection is kept private: STARTTLS on the usual port, TLS from the
// first byte (port 465), or not at all.
enum class Security : std::uint8_t { StartTls, Tls, None };
enum class WebhookFormat : std::uint8_t { Json, Ntfy };

struct MailSettings {
    QString host; // empty: no e-mail
    int port = 587;
    Security security = Security::StartTls;
    QString user;
    QString password; // from email_senha_arquivo; never shown, written or journaled
    QString tlsCa;    // a CA bundle for a private server; empty: the system's
    QString from;
    QStringList to;
};

// The [notificacoes] group of anemometros.ini in the program's folder. Off until a channel
// (email_servidor, webhook_url or comando) is set.
struct NotifySettings {
    MailSettings mail;
    QString webhookUrl; // empty: no webhook
    WebhookFormat webhookFormat = WebhookFormat::Json;
    QString command; // an absolute path; empty: none
    // quando: the events sent; reminders and escalations follow their own keys.
    QList<Event> events{Event::Active, Event::Normalized};
    alarms::Priority lowestPriority = alarms::Priority::Medium;
    int reminderMin = 15; // 0: none
    int mostReminders = 4;
    int escalateMin = 0; // 0: none
    QStringList escalateTo;

    bool has(Channel channel) const;
    bool any() const;
    // Whether an alarm of this kind is told at all.
    bool told(alarms::Kind kind) const;
};

struct NotifySettingsResult {
    NotifySettings settings;
    // Every bad value and unknown key, in Portuguese, to be shown once; a channel with a bad
    // value stays off, another key keeps its default.
    QString error;
};

inline constexpr int kMostMinutes = 24 * 60;
inline constexpr int kMostReminders = 100;

// Reads the [notificacoes] group of anemometros.ini as read once at start; names and words in
// any case. A missing file, one that could not be read (its reader of [mqtt] says so, once) or
// a file without the group gives notifications off and no error.
NotifySettingsResult readNotifySettings(const toolkit::IniFile& ini);
// The same for a file of its own, read here for [notificacoes] alone: one that cannot be read
// is said.
NotifySettingsResult readNotifySettings(const QString& path);

// "ntfy.example.com/alarmes": a URL without its user name and password, for every text shown.
QString urlShown(const QString& url);

} // namespace notify
