#include "health/station_health.h"

namespace health {

namespace {

constexpr qint64 kMinuteMs = 60'000;

} // namespace

void Counts::add(modbus::ReplyKind kind) {
    ++polls;
    switch (kind) {
    case modbus::ReplyKind::Good:
        ++good;
        break;
    case modbus::ReplyKind::NoReply:
        ++noReply;
        break;
    case modbus::ReplyKind::BadCrc:
        ++badCrc;
        break;
    case modbus::ReplyKind::WrongAddress:
        ++wrongAddress;
        break;
    case modbus::ReplyKind::WrongFunction:
        ++wrongFunction;
        break;
    case modbus::ReplyKind::TooShort:
        ++tooShort;
        break;
    }
}

Counts& Counts::operator+=(const Counts& other) {
    polls += other.polls;
    good += other.good;
    noReply += other.noReply;
    badCrc += other.badCrc;
    wrongAddress += other.wrongAddress;
    wrongFunction += other.wrongFunction;
    tooShort += other.tooShort;
    return *this;
}

std::optional<double> Counts::successPercent() const {
    if (polls == 0)
        return std::nullopt;
    return 100.0 * good / polls;
}

StationHealth::Change StationHealth::record(modbus::ReplyKind kind, qint64 atMs) {
    total_.add(kind);
    const qint64 minute = atMs / kMinuteMs;
    Bucket& bucket = buckets_[static_cast<std::size_t>(minute % kWindowMinutes)];
    if (bucket.minute != minute)
        bucket = {minute, {}};
    bucket.counts.add(kind);

    if (kind == modbus::ReplyKind::Good) {
        const bool wasSilent = !answering();
        consecutiveFailures_ = 0;
        lastGoodMs_ = atMs;
        return wasSilent ? Change::AnsweringAgain : Change::None;
    }
    lastFailure_ = kind;
    ++consecutiveFailures_;
    return consecutiveFailures_ == kFailuresToSilence ? Change::StoppedAnswering : Change::None;
}

Counts StationHealth::lastHour(qint64 nowMs) const {
    const qint64 now = nowMs / kMinuteMs;
    Counts sum;
    for (const Bucket& bucket : buckets_) {
        if (bucket.minute > now - kWindowMinutes && bucket.minute <= now)
            sum += bucket.counts;
    }
    return sum;
}

} // namespace health
