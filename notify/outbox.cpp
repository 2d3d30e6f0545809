#include "notify/outbox.h"

#include <QJsonObject>

#include <algorithm>

namespace notify {

void Outbox::add(Pending pending) {
    pending_.append(std::move(pending));
}

qsizetype Outbox::firstOf(Channel channel) const {
    for (qsizetype i = 0; i < pending_.size(); ++i) {
        if (pending_.at(i).channel == channel)
            return i;
    }
    return -1;
}

const Pending* Outbox::take(Channel channel, qint64 nowMs) {
    ChannelState& state = states_[int(channel)];
    const qsizetype first = firstOf(channel);
    if (state.sending || first < 0 || nowMs < state.nextTryMs)
        return nullptr;
    state.sending = true;
    return &pending_.at(first);
}

void Outbox::sent(Channel channel, qint64 nowMs) {
    ChannelState& state = states_[int(channel)];
    state.sending = false;
    state.retryMs = 0;
    state.nextTryMs = 0;
    state.lastSentMs = nowMs;
    if (const qsizetype first = firstOf(channel); first >= 0)
        pending_.removeAt(first);
}

void Outbox::failed(Channel channel, const QString& reason, qint64 nowMs) {
    ChannelState& state = states_[int(channel)];
    state.sending = false;
    state.retryMs = state.retryMs == 0 ? firstRetryMs_ : std::min(state.retryMs * 2, lastRetryMs_);
    state.nextTryMs = nowMs + state.retryMs;
    state.lastError = reason;
    state.lastErrorMs = nowMs;
    if (const qsizetype first = firstOf(channel); first >= 0) {
        ++pending_[first].attempts;
        pending_[first].lastError = reason;
    }
}

QList<Pending> Outbox::dropExpired(qint64 nowMs) {
    QList<Pending> dropped;
    for (qsizetype i = pending_.size() - 1; i >= 0; --i) {
        const Pending& p = pending_.at(i);
        // The one out stays until its answer comes.
        if (nowMs - p.queuedMs < kMostAgeMs ||
            (states_[int(p.channel)].sending && i == firstOf(p.channel)))
            continue;
        dropped.prepend(p);
        pending_.removeAt(i);
    }
    return dropped;
}

qint64 Outbox::nextDueMs() const {
    qint64 next = 0;
    const auto sooner = [&next](qint64 at) {
        if (next == 0 || at < next)
            next = at;
    };
    for (const Channel channel : kAllChannels) {
        const ChannelState& state = states_[int(channel)];
        if (!state.sending && firstOf(channel) >= 0)
            sooner(std::max<qint64>(state.nextTryMs, 1));
    }
    for (const Pending& p : pending_)
        sooner(p.queuedMs + kMostAgeMs);
    return next;
}

int Outbox::count(Channel channel) const {
    return int(std::count_if(pending_.begin(), pending_.end(),
                             [channel](const Pending& p) { return p.channel == channel; }));
}

QJsonArray Outbox::toJson() const {
    QJsonArray list;
    for (const Pending& p : pending_) {
        list.append(QJsonObject{
            {QStringLiteral("channel"), channelText(p.channel)},
            {QStringLiteral("notice"), noticeJson(p.notice)},
            {QStringLiteral("to"), QJsonArray::fromStringList(p.to)},
            {QStringLiteral("queued_ms"), double(p.queuedMs)},
            {QStringLiteral("attempts"), p.attempts},
            {QStringLiteral("last_error"), p.lastError},
        });
    }
    return list;
}

void Outbox::restore(const QJsonArray& json) {
    pending_.clear();
    for (const QJsonValue& value : json) {
        const QJsonObject o = value.toObject();
        const std::optional<Notice> notice = noticeFromJson(o.value(u"notice").toObject());
        const auto channel =
            std::find_if(std::begin(kAllChannels), std::end(kAllChannels), [&o](Channel c) {
                return channelText(c) == o.value(u"channel").toString();
            });
        if (!notice || channel == std::end(kAllChannels))
            continue;
        Pending p;
        p.channel = *channel;
        p.notice = *notice;
        for (const QJsonValue& to : o.value(u"to").toArray())
            p.to << to.toString();
        p.queuedMs = qint64(o.value(u"queued_ms").toDouble());
        p.attempts = o.value(u"attempts").toInt();
        p.lastError = o.value(u"last_error").toString();
        pending_.append(p);
    }
}

} // namespace notify
