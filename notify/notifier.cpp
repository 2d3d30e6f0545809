#include "notify/notifier.h"

#include "notify/command_run.h"
#include "notify/curl_library.h"
#include "notify/mail_message.h"
#include "notify/notify_trace.h"
#include "notify/send_thread.h"
#include "notify/transfer.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"
#include "toolkit/regular_file.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>

namespace notify {

namespace {

constexpr qint64 kMostStateBytes = 64LL * 1024 * 1024;
// A wake-up at least this often: the clock may jump under a long wait.
constexpr qint64 kMostWaitMs = 60'000;

EventRules rulesOf(const NotifySettings& s) {
    return {.events = s.events,
            .lowestPriority = s.lowestPriority,
            .reminderMs = qint64(s.reminderMin) * 60'000,
            .mostReminders = s.mostReminders,
            .escalateMs = s.escalateTo.isEmpty() ? 0 : qint64(s.escalateMin) * 60'000};
}

QString clock(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("HH:mm:ss"));
}

} // namespace

Notifier::Notifier(NotifySettings settings, Options options, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), options_(std::move(options)),
      events_(rulesOf(settings_)), outbox_(options_.firstRetryMs), wake_(new QTimer(this)) {
    // libcurl is opened here, on the window thread, before a sending thread starts.
    if (settings_.has(Channel::Email) || settings_.has(Channel::Webhook))
        loadCurl();
    for (const Channel channel : {Channel::Email, Channel::Webhook}) {
        if (settings_.has(channel))
            threads_[int(channel)] =
                std::make_unique<SendThread>(QStringLiteral("notify-") + channelText(channel));
    }
    writer_ = std::make_unique<SendThread>(QStringLiteral("notify-file"));
    wake_->setSingleShot(true);
    connect(wake_, &QTimer::timeout, this, &Notifier::pump);
}

Notifier::~Notifier() {
    // The write under way ends first; what still waits is written here, at the stop.
    writer_.reset();
    if (unwritten_->queued) {
        try {
            toolkit::replaceFileContents(options_.stateFile, unwritten_->bytes);
        } catch (const toolkit::Failure& failure) {
            toolkit::reportToStandardError(failure.text(), toolkit::Severity::Warning);
        }
    }
}

QString Notifier::restore() {
    const toolkit::FileRead file = toolkit::readRegularFile(options_.stateFile, kMostStateBytes);
    if (file.outcome == toolkit::FileRead::Outcome::Missing) {
        pump();
        return {};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
    if (!file.ok() || !document.isObject()) {
        loadProblem_ =
            QStringLiteral("Notificações: a fila %1 não pôde ser lida (%2); as notificações que "
                           "esperavam nela não serão enviadas.")
                .arg(options_.stateFile,
                     file.ok() ? QStringLiteral("não é JSON: %1").arg(error.errorString())
                               : file.reason());
        pump();
        return loadProblem_;
    }
    outbox_.restore(document.object().value(u"pending").toArray());
    events_.restore(document.object().value(u"alarms").toArray());
    // What waits for a channel no longer set stays out of the way.
    QList<Pending> kept;
    for (const Pending& p : outbox_.pending()) {
        if (settings_.has(p.channel))
            kept << p;
    }
    if (kept.size() != outbox_.pending().size()) {
        Outbox fresh(options_.firstRetryMs);
        for (const Pending& p : std::as_const(kept))
            fresh.add(p);
        outbox_ = fresh;
    }
    pump();
    return {};
}

void Notifier::listed(const QString& site, int station, const QString& stationName,
                      const QList<alarms::Entry>& entries) {
    const QList<Notice> notices = events_.listed(site, station, stationName, entries, now());
    if (!events_.takeChanged() && notices.isEmpty())
        return;
    enqueue(notices);
}

void Notifier::acknowledgedBy(const QString& site, int station, alarms::Kind kind,
                              const QString& user) {
    events_.acknowledgedBy(site, station, kind, user);
}

void Notifier::enqueue(const QList<Notice>& notices) {
    const qint64 at = now();
    for (const Notice& notice : notices) {
        for (const Channel channel : kAllChannels) {
            if (!settings_.has(channel))
                continue;
            // An escalation is an e-mail to its own recipients only.
            if (notice.event == Event::Escalation && channel != Channel::Email)
                continue;
            Pending pending;
            pending.channel = channel;
            pending.notice = notice;
            pending.queuedMs = at;
            if (notice.event == Event::Escalation)
                pending.to = settings_.escalateTo;
            if (channel == Channel::Email)
                qCDebug(lcNotify).noquote()
                    << "queued" << messageId(notice, settings_.mail.from) << traceClockMs();
            outbox_.add(pending);
        }
    }
    save();
    pump();
}

void Notifier::pump() {
    const qint64 at = now();
    const QList<Pending> dropped = outbox_.dropExpired(at);
    for (const Pending& p : dropped) {
        emit journal(p.notice.stationName.isEmpty() ? QStringLiteral("-") : p.notice.stationName,
                     QStringLiteral("NOTIFICAÇÃO DESCARTADA"),
                     QStringLiteral("%1, %2: não foi enviada em 24 h; o último erro: %3")
                         .arg(channelText(p.channel), whatText(p.notice, options_.site),
                              p.lastError.isEmpty() ? QStringLiteral("-") : p.lastError));
    }
    if (!dropped.isEmpty())
        save();
    for (const Channel channel : kAllChannels) {
        if (const Pending* p = outbox_.take(channel, at))
            dispatch(channel, p->notice, p->to,
                     [this, channel](const Outcome& outcome) { finished(channel, outcome); });
    }
    if (const QList<Notice> due = events_.due(at); !due.isEmpty())
        return enqueue(due);
    qint64 next = outbox_.nextDueMs();
    if (const qint64 reminder = events_.nextDueMs();
        reminder != 0 && (next == 0 || reminder < next))
        next = reminder;
    if (next == 0)
        wake_->stop();
    else
        wake_->start(int(std::clamp<qint64>(next - at, 0, kMostWaitMs)));
    emit stateChanged();
}

void Notifier::dispatch(Channel channel, const Notice& notice, const QStringList& to,
                        std::function<void(const Outcome&)> done) {
    const TryLimits limits{options_.tryTimeoutMs,
                           threads_[int(channel)] ? threads_[int(channel)]->stopFlag() : nullptr};
    switch (channel) {
    case Channel::Email: {
        const QStringList recipients = to.isEmpty() ? settings_.mail.to : to;
        MailJob job{settings_.mail, recipients,
                    mailMessage(notice, settings_.mail.from, recipients),
                    to.isEmpty() ? QStringLiteral("email_para") : QStringLiteral("escalar_para")};
        threads_[int(channel)]->run([job, limits] { return sendMail(job, limits); },
                                    std::move(done));
        return;
    }
    case Channel::Webhook: {
        HttpJob job{settings_.webhookUrl,
                    settings_.webhookFormat == WebhookFormat::Ntfy
                        ? ntfyRequest(notice)
                        : HttpRequest{{{"Content-Type", "application/json"}}, webhookJson(notice)}};
        threads_[int(channel)]->run([job, limits] { return postHttp(job, limits); },
                                    std::move(done));
        return;
    }
    case Channel::Command:
        CommandRun::start(settings_.command, commandVariables(notice), bodyText(notice).toUtf8(),
                          std::move(done), options_.commandMostRunMs, this);
        return;
    }
}

void Notifier::finished(Channel channel, const Outcome& outcome) {
    const auto out = std::find_if(outbox_.pending().begin(), outbox_.pending().end(),
                                  [channel](const Pending& p) { return p.channel == channel; });
    if (out == outbox_.pending().end())
        return;
    const Pending p = *out;
    const QString station =
        p.notice.stationName.isEmpty() ? QStringLiteral("-") : p.notice.stationName;
    const QString what = whatText(p.notice, options_.site);
    if (outcome.ok) {
        emit journal(station, QStringLiteral("NOTIFICAÇÃO ENVIADA"),
                     QStringLiteral("%1, %2, para %3")
                         .arg(channelText(channel), what, recipients(channel, p.to)));
        outbox_.sent(channel, now());
    } else {
        // Once per notice and reason: a server down for hours does not fill the journal.
        if (p.attempts == 0 || p.lastError != outcome.text)
            emit journal(
                station, QStringLiteral("NOTIFICAÇÃO FALHOU"),
                QStringLiteral("%1, %2: %3").arg(channelText(channel), what, outcome.text));
        outbox_.failed(channel, outcome.text, now());
    }
    save();
    pump();
}

void Notifier::test(const QString& user) {
    Notice notice;
    notice.event = Event::Test;
    notice.atMs = now();
    notice.id = QStringLiteral("TESTE|%1|%2").arg(options_.site).arg(notice.atMs);
    notice.site = options_.site;
    notice.testedBy = user;
    for (const Channel channel : kAllChannels) {
        if (!settings_.has(channel))
            continue;
        dispatch(channel, notice, {}, [this, channel](const Outcome& outcome) {
            emit journal(
                QStringLiteral("-"),
                outcome.ok ? QStringLiteral("NOTIFICAÇÃO ENVIADA")
                           : QStringLiteral("NOTIFICAÇÃO FALHOU"),
                outcome.ok
                    ? QStringLiteral("%1, TESTE, para %2")
                          .arg(channelText(channel), recipients(channel, {}))
                    : QStringLiteral("%1, TESTE: %2").arg(channelText(channel), outcome.text));
            emit testAnswered(channel, outcome.ok, outcome.text);
        });
    }
}

QString Notifier::recipients(Channel channel, const QStringList& to) const {
    switch (channel) {
    case Channel::Email:
        return (to.isEmpty() ? settings_.mail.to : to).join(QStringLiteral(", "));
    case Channel::Webhook:
        return urlShown(settings_.webhookUrl);
    case Channel::Command:
        break;
    }
    return settings_.command;
}

QString Notifier::channelTarget(Channel channel) const {
    switch (channel) {
    case Channel::Email:
        return QStringLiteral("e-mail a %1 por %2")
            .arg(recipients(channel, {}), serverText(settings_.mail));
    case Channel::Webhook:
        return QStringLiteral("webhook %1").arg(recipients(channel, {}));
    case Channel::Command:
        break;
    }
    return QStringLiteral("comando %1").arg(settings_.command);
}

QString Notifier::stateText() const {
    QStringList lines{QStringLiteral("Notificações:")};
    for (const Channel channel : kAllChannels) {
        if (!settings_.has(channel))
            continue;
        const ChannelState& state = outbox_.state(channel);
        QString line =
            QStringLiteral("%1 — %2, %3 na fila")
                .arg(channelTarget(channel), state.sending       ? QStringLiteral("enviando")
                                             : state.retryMs > 0 ? QStringLiteral("falhando")
                                                                 : QStringLiteral("em dia"))
                .arg(outbox_.count(channel));
        if (!state.sending && state.retryMs > 0)
            line += QStringLiteral(", nova tentativa às %1").arg(clock(state.nextTryMs));
        if (!state.lastError.isEmpty())
            line += QStringLiteral("; último erro às %1: %2")
                        .arg(clock(state.lastErrorMs), state.lastError);
        lines << line;
    }
    if (!saveProblem_.isEmpty())
        lines << saveProblem_;
    return lines.join(u'\n');
}

void Notifier::save() {
    const QJsonObject state{{QStringLiteral("pending"), outbox_.toJson()},
                            {QStringLiteral("alarms"), events_.toJson()}};
    {
        const std::lock_guard lock(unwritten_->mutex);
        unwritten_->bytes = QJsonDocument(state).toJson(QJsonDocument::Indented);
        if (std::exchange(unwritten_->queued, true))
            return; // the write already asked for takes these contents
    }
    writer_->run(
        [unwritten = unwritten_, path = options_.stateFile] {
            QByteArray bytes;
            {
                const std::lock_guard lock(unwritten->mutex);
                bytes = unwritten->bytes;
                unwritten->queued = false;
            }
            try {
                toolkit::replaceFileContents(path, bytes);
                return Outcome{true, {}};
            } catch (const toolkit::Failure& failure) {
                return Outcome{false, failure.text()};
            }
        },
        [this](const Outcome& outcome) { saved(outcome); });
}

void Notifier::saved(const Outcome& outcome) {
    if (outcome.ok) {
        saveProblem_.clear();
        return;
    }
    const QString problem =
        QStringLiteral("A fila de notificações %1 não pôde ser gravada (%2): o que espera nela "
                       "se perde se o programa parar.")
            .arg(options_.stateFile, outcome.text);
    // Once until it is written again.
    if (problem != saveProblem_)
        toolkit::reportToStandardError(problem, toolkit::Severity::Warning);
    saveProblem_ = problem;
    emit stateChanged();
}

} // namespace notify
