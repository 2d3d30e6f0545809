#pragma once

#include "notify/notice.h"

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <array>

namespace notify {

// One notice waiting for one channel.
struct Pending {
    Channel channel = Channel::Email;
    Notice notice;
    QStringList to; // e-mail recipients of an escalation; empty: the configured ones
    qint64 queuedMs = 0;
    int attempts = 0;
    QString lastError;
    friend bool operator==(const Pending&, const Pending&) = default;
};

// How a channel is doing, for Diagnóstico and the test window.
struct ChannelState {
    bool sending = false;
    qint64 retryMs = 0;   // the back-off after the last failure; 0: the last try went through
    qint64 nextTryMs = 0; // not before this
    QString lastError;    // the server's reason, in one sentence
    qint64 lastErrorMs = 0;
    qint64 lastSentMs = 0;
};

// The notices not yet sent, per channel in the order they came: one at a time is out on a
// channel, and after a failure the channel waits, from 10 s doubling to 10 min, before it tries
// again. A notice still unsent 24 h after it came is dropped. Every input carries its own time.
class Outbox {
public:
    static constexpr qint64 kFirstRetryMs = 10'000;
    static constexpr qint64 kLastRetryMs = 600'000;
    static constexpr qint64 kMostAgeMs = 24LL * 60 * 60 * 1000;

    explicit Outbox(qint64 firstRetryMs = kFirstRetryMs, qint64 lastRetryMs = kLastRetryMs)
        : firstRetryMs_(firstRetryMs), lastRetryMs_(lastRetryMs) {}

    void add(Pending pending);
    // The next to send on the channel at nowMs, now marked as out; none while one is out, while
    // the channel waits after a failure, or when nothing waits.
    const Pending* take(Channel channel, qint64 nowMs);
    // The one out went through: it leaves the queue and the channel is well again.
    void sent(Channel channel, qint64 nowMs);
    // The one out failed: it stays first, and the channel waits.
    void failed(Channel channel, const QString& reason, qint64 nowMs);
    // The notices 24 h old and still unsent, now out of the queue.
    QList<Pending> dropExpired(qint64 nowMs);
    // When something may be due again (a channel's wait over, a notice to drop); 0: nothing.
    qint64 nextDueMs() const;

    int count(Channel channel) const;
    const ChannelState& state(Channel channel) const { return states_[int(channel)]; }
    const QList<Pending>& pending() const { return pending_; }

    // The queue file's form; the channels' states are not kept: a restart tries at once.
    QJsonArray toJson() const;
    void restore(const QJsonArray& json);

private:
    qsizetype firstOf(Channel channel) const;

    qint64 firstRetryMs_;
    qint64 lastRetryMs_;
    QList<Pending> pending_;
    std::array<ChannelState, kChannels> states_{};
};

} // namespace notify
