#pragma once

#include "alarms/alarm.h"
#include "notify/alarm_events.h"
#include "notify/notify_settings.h"
#include "notify/outbox.h"
#include "notify/send_reasons.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <functional>
#include <memory>
#include <mutex>

class QTimer;

namespace notify {

class SendThread;

// The queue and what was told, in the program's folder: the station program's, and the site
// view's beside it (both may run from one folder).
inline const QString kStateFileName = QStringLiteral("notificacoes.json");
inline const QString kSiteStateFileName = QStringLiteral("notificacoes-local.json");

// The notifications of one program: the alarm lists come in as they change, the events to
// tell go into the queue, and each channel sends its queue in order, on a thread of its own
// for e-mail and the webhook and as a process for the command. The queue and what was told
// are in one file, written whole at every change (on a thread of its own) and read back at
// start, so that neither a kill nor a restart loses or repeats a notification: what a kill
// left unwritten is told again from the alarm lists read back. Made only when a channel is set.
class Notifier : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString stateFile; // notificacoes.json in the program's folder
        QString site;      // where this program is, for a test message
        std::function<qint64()> nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
        qint64 firstRetryMs = Outbox::kFirstRetryMs;
        int tryTimeoutMs = 30'000;
        int commandMostRunMs = 10'000;
    };

    Notifier(NotifySettings settings, Options options, QObject* parent = nullptr);
    ~Notifier() override;

    // What the file held: the queue is sent from now on. A message to show once when the file
    // was there but could not be read (the program then starts without it).
    QString restore();

    // The whole alarm list of one station (0: the port) of one site as it stands now.
    void listed(const QString& site, int station, const QString& stationName,
                const QList<alarms::Entry>& entries);
    void acknowledgedBy(const QString& site, int station, alarms::Kind kind, const QString& user);
    // One test message through every channel now, whatever their queues; each answer comes
    // through testAnswered.
    void test(const QString& user);

    const NotifySettings& settings() const { return settings_; }
    const Outbox& outbox() const { return outbox_; }
    // "e-mail a ana@example.com por smtp.example.com:587", "webhook ntfy.example.com/obra".
    QString channelTarget(Channel channel) const;
    // One line per channel: its target, its state, its queue, its last error.
    QString stateText() const;

signals:
    // A line for the event journal ("NOTIFICAÇÃO ENVIADA", "NOTIFICAÇÃO FALHOU",
    // "NOTIFICAÇÃO DESCARTADA"); stationName "-" for the port and the program itself.
    void journal(const QString& stationName, const QString& event, const QString& detail);
    void stateChanged();
    void testAnswered(notify::Channel channel, bool ok, const QString& text);

private:
    void enqueue(const QList<Notice>& notices);
    void pump();
    void dispatch(Channel channel, const Notice& notice, const QStringList& to,
                  std::function<void(const Outcome&)> done);
    void finished(Channel channel, const Outcome& outcome);
    void save();
    void saved(const Outcome& outcome);
    QString recipients(Channel channel, const QStringList& to) const;
    qint64 now() const { return options_.nowMs(); }

    NotifySettings settings_;
    Options options_;
    AlarmEvents events_;
    Outbox outbox_;
    std::array<std::unique_ptr<SendThread>, kChannels> threads_;
    // The queue file is written off the window thread (its fsync may take a poll's margin): the
    // newest contents wait here for the writing thread, which takes them whole.
    struct Unwritten {
        std::mutex mutex;
        QByteArray bytes;
        bool queued = false;
    };
    std::shared_ptr<Unwritten> unwritten_ = std::make_shared<Unwritten>();
    std::unique_ptr<SendThread> writer_;
    QTimer* wake_ = nullptr;
    QString saveProblem_;
    QString loadProblem_;
};

} // namespace notify
