#pragma once

#include "frame.h"

#include <QString>

namespace toolkit {
class Timer;
}

namespace modbus {

// What a control tick needs of the station program: which panels are shown, the address
// edits, the poll trail in the status bar, the port and the reply timers.
class PollHost {
public:
    virtual ~PollHost() = default;
    virtual bool stationShown(int station) const = 0;
    virtual QString addressText(int station) const = 0;
    virtual QString pollTrail() const = 0;
    virtual void setPollTrail(const QString& text) = 0;
    virtual void sendFrame(const RequestFrame& frame) = 0;
    virtual void armReplyTimer(int station) = 0;
};

// The process-wide state of the polling cycle.
struct PollState {
    int stationIndex = 0; // 1..9: the station the next control tick polls; 9 ends the cycle
    int cyclePauseMs = 0;
    LastRequest lastRequest{};
    CrcRegister crc{};
};

inline constexpr int kPollStepMs = 200;

// One tick of the control timer: polls the station named by the index, or ends the cycle
// at a hidden panel or past station 8 and waits the cycle pause. A bad address text fails
// before anything is sent and leaves the control timer stopped.
void controlTick(PollHost& host, toolkit::Timer& controlTimer, PollState& state);

// The start of every reply tick: the reply timer fires once, and the cycle moves on to the
// next station whatever the reply turns out to be.
void handOver(toolkit::Timer& replyTimer, int station, PollState& state);

} // namespace modbus
