#pragma once

#include "bus/poll_outcome.h"
#include "bus/port_reader.h"
#include "modbus/rtu.h"
#include "modbus/stations.h"
#include "serial/serial_port.h"
#include "settings/station_settings.h"

#include <QObject>
#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace toolkit {
class Timer;
}

namespace bus {

// What the engine tells the windows, besides the poll outcomes.
class View {
public:
    virtual ~View() = default;
    // Status panel 2: the poll trail and the port state texts.
    virtual QString portText() const = 0;
    virtual void setPortText(const QString& text) = 0;
    // A plain message about the port; returns once the user has closed it.
    virtual void showPortMessage(const QString& text) = 0;
    // The device is gone: every shown station takes the failure look at once.
    virtual void showPortLost() = 0;
};

// The station bus: the serial port, the polling cycle over stations 1 to 8 and the ten
// timers that drive it (TimerAbrePorta, TimerControle, Timer1 ... Timer8), as the station
// settings say at each use (the port and rate at opening, the stations polled and their
// addresses at each request, the cycle pause at the end of a cycle). A reply tick starts the
// read of the reply, which waits in the message loop, never on the window's thread; when it
// ends, the poll goes to the listeners as one PollOutcome, in the order they were added. A
// failure raised by one of them goes to the standard error report and the later ones do not
// hear of that poll.
class StationBus : public QObject {
    Q_OBJECT

public:
    StationBus(const settings::StationSettings& settings, View& view, QObject* parent);
    ~StationBus() override;

    // Ticks and commands.
    void openingTick();
    void controlTick();
    void replyTick(int station);
    void stopForConfiguration();
    void close();

    void addListener(OutcomeListener& listener) { listeners_.append(listener); }
    // A watcher is told before every listener, so it sees every poll, also one whose display
    // fails; it must not fail itself.
    void addWatcher(OutcomeListener& watcher) { watchers_.prepend(watcher); }
    void removeListener(OutcomeListener& listener) {
        watchers_.remove(listener);
        listeners_.remove(listener);
    }

    toolkit::Timer& openingTimer() const { return *openingTimer_; }
    toolkit::Timer& controlTimer() const { return *controlTimer_; }
    toolkit::Timer& replyTimer(int station) const { return *replyTimers_[stationSlot(station)]; }

    PortState portState() const { return state_; }
    bool portOpen() const { return port_.isOpen(); }
    // A reply tick's read has not ended yet.
    bool replyPending() const { return reader_.pending(); }
    // 1..9: the station the next control tick polls; 9 ends the cycle. Starts at 0.
    int stationIndex() const { return stationIndex_; }
    void setStationIndex(int index) { stationIndex_ = index; }
    const modbus::LastRequest& lastRequest() const { return lastRequest_; }
    modbus::CrcRegister& crcRegister() { return crc_; }

    static constexpr int kPollStepMs = 200;
    static constexpr int kRetryMs = 5000;

signals:
    // The read of `station`'s reply has ended and its outcome has gone to the listeners.
    void replyRead(int station);

private:
    // Makes the outcome of the read that ended and tells it.
    void finishPoll(modbus::Bytes reply);
    // A tick driven by hand while a read is pending: that read ends first, with what has come.
    void endPendingRead();
    // The operator's command ends a pending read at once; what has come is kept for its
    // outcome.
    std::optional<modbus::Bytes> cutPendingRead();
    void releaseTicks();
    void setState(PortState state);
    template <class Tell> void tellListeners(Tell tell) const {
        watchers_.forEach(tell);
        listeners_.forEach(tell);
    }
    void portLost();
    // The replies still awaited when the operator's own command closes the port.
    void cutShortAwaitedReplies();
    void reportOpeningFailure(const serial::OpenResult& result, const QString& portName,
                              const QString& lineParameters);

    const settings::StationSettings& settings_;
    View& view_;
    serial::SerialPort port_;
    PortReader reader_{port_};
    int readingStation_ = 0; // whose reply the pending read awaits
    PortState state_ = PortState::WaitingToOpen;
    toolkit::Timer* openingTimer_ = nullptr;
    toolkit::Timer* controlTimer_ = nullptr;
    std::array<toolkit::Timer*, kStations> replyTimers_{};
    toolkit::ListenerList<OutcomeListener> watchers_;
    toolkit::ListenerList<OutcomeListener> listeners_;

    int stationIndex_ = 0;
    modbus::LastRequest lastRequest_{};
    modbus::CrcRegister crc_{};
    std::array<qint64, kStations> requestWrittenMs_{};
    std::array<bool, kStations> cutShort_{};
};

} // namespace bus
