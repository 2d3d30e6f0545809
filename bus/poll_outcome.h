#pragma once

#include "modbus/rtu.h"
#include "toolkit/listener_list.h"

#include <QString>

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
    // The operator's own command (the configuration window opening, a scan, the program
    // closing) closed the port while the reply was awaited: the panel shows the failure, but
    // it is not the station's, so health, the journal and the broker leave it out.
    bool cutShort = false;

    bool good() const { return kind == modbus::ReplyKind::Good; }
};

// The life of the one serial port.
enum class PortState {
    WaitingToOpen,          // the opening timer runs: at start, after a refused step, after
                            // the configuration window
    Open,                   // polling
    ReportingOpenFailure,   // an opening message is on screen; the opening ticks wait for it
    WaitingForUser,         // the port could not be opened: nothing until the configuration
                            // window has been used
    Lost,                   // the device vanished: reopened quietly every 5 s
    ClosedForConfiguration, // the configuration window is open
};

// Anything that follows the polls: the main window's panels, the log step, and whatever
// watches the stations. Destroyed, a listener is no longer told.
class OutcomeListener : public toolkit::Listening {
public:
    virtual void pollFinished(const PollOutcome& outcome) = 0;
    virtual void portStateChanged(PortState from, PortState to, const QString& portName) {
        Q_UNUSED(from);
        Q_UNUSED(to);
        Q_UNUSED(portName);
    }
};

} // namespace bus
