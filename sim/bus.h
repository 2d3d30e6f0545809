#pragma once

#include "sim/faults.h"
#include "sim/pty_port.h"
#include "sim/rtu_frames.h"
#include "sim/station_setup.h"
#include "sim/transaction_log.h"
#include "sim/wind_model.h"
#include "toolkit/signal_pipe.h"

#include <chrono>
#include <csignal>

namespace sim {

// The simulated bus: answers the master's requests on the pseudo-terminal for every station
// until a terminating signal arrives.
class Bus {
public:
    explicit Bus(BusSetup setup);

    // Returns the process exit code: 0 after a terminating signal, 1 or 2 when it cannot start.
    int run();

private:
    std::int64_t elapsedMs() const;
    int pollTimeoutMs() const;
    void readRequests();
    void handle(const Request& request);
    void send(const Bytes& bytes);
    void sendDueReplies();
    void followSchedule();
    void pullOut(const QString& reason);
    void plugIn(const QString& reason);
    // Returns false when asked to stop.
    bool handleSignals();

    struct DelayedReply {
        std::int64_t dueMs;
        Bytes bytes;
    };

    BusSetup setup_;
    std::vector<WindModel> models_;
    std::vector<FaultDice> dice_;
    PtyPort port_;
    RequestFramer framer_;
    TransactionLog log_;
    toolkit::SignalPipe signals_{{SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2}, false};
    std::vector<DelayedReply> delayed_;
    std::chrono::steady_clock::time_point start_;
    std::optional<std::int64_t> pullOutAtMs_;
    std::optional<std::int64_t> plugInAtMs_;
};

} // namespace sim
