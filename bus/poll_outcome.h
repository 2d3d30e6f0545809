#pragma once

#include "modbus/rtu.h"

#include <QtGlobal>

#include <cstdint>
#include <optional>

namespace bus {

// One finished poll of one station: what was asked, when, and what came back.
struct PollOutcome {
    int station = 0;          // 1..8
    std::uint8_t address = 0; // the address byte of the request
    // When the request had been sent and when the reply tick had read what came, in
    // milliseconds since 1970 UTC (QDateTime::fromMSecsSinceEpoch gives the time of day).
    qint64 requestWrittenMs = 0;
    qint64 replyReadMs = 0;
    modbus::ReplyKind kind = modbus::ReplyKind::NoReply;
    modbus::Bytes reply;                         // the bytes read, 0 to 255
    std::optional<modbus::StationValues> values; // decoded, for a good reply only
    // The read found the device gone (an adapter pulled out): the port is closed now and the
    // windows have already been told.
    bool portLost = false;

    bool good() const { return kind == modbus::ReplyKind::Good; }
};

// Anything that follows the polls: the main window's panels, the log step, and whatever
// watches the stations.
class OutcomeListener {
public:
    virtual ~OutcomeListener() = default;
    virtual void pollFinished(const PollOutcome& outcome) = 0;
};

} // namespace bus
