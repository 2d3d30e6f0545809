#pragma once

#include "modbus/rtu.h"

#include <QtGlobal>

#include <array>
#include <optional>

namespace health {

// How a station's polls went: every poll, and each way it can go.
struct Counts {
    int polls = 0;
    int good = 0;
    int noReply = 0;
    int badCrc = 0;
    int wrongAddress = 0;
    int wrongFunction = 0; // a wrong function code or a Modbus exception
    int tooShort = 0;

    void add(modbus::ReplyKind kind);
    Counts& operator+=(const Counts& other);
    // Good polls in percent of all; nothing before the first poll.
    std::optional<double> successPercent() const;
    friend bool operator==(const Counts&, const Counts&) = default;
};

// One station's record: counts since start and over the last 60 minutes (one-minute buckets
// that slide with the clock), the run of failures now and the last good reading. A station is
// not answering after three failed polls in a row and answers again with its next good one.
class StationHealth {
public:
    static constexpr int kFailuresToSilence = 3;
    static constexpr int kWindowMinutes = 60;

    enum class Change { None, StoppedAnswering, AnsweringAgain };

    // Records one poll at `atMs` (milliseconds since 1970) and tells whether the station
    // stopped answering or answers again with it.
    Change record(modbus::ReplyKind kind, qint64 atMs);

    const Counts& sinceStart() const { return total_; }
    Counts lastHour(qint64 nowMs) const;
    int consecutiveFailures() const { return consecutiveFailures_; }
    bool answering() const { return consecutiveFailures_ < kFailuresToSilence; }
    std::optional<qint64> lastGoodMs() const { return lastGoodMs_; }
    modbus::ReplyKind lastFailure() const { return lastFailure_; }

private:
    struct Bucket {
        qint64 minute = -1; // minutes since 1970 of the counts it holds
        Counts counts;
    };

    Counts total_;
    std::array<Bucket, kWindowMinutes> buckets_{};
    int consecutiveFailures_ = 0;
    std::optional<qint64> lastGoodMs_;
    modbus::ReplyKind lastFailure_ = modbus::ReplyKind::NoReply;
};

} // namespace health
