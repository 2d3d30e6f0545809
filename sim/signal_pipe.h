#pragma once

#include <vector>

namespace sim {

// Turns SIGINT, SIGTERM, SIGHUP, SIGUSR1 and SIGUSR2 into bytes on a pipe, so the bus loop
// sees a signal in poll() like any other input and never acts inside a handler.
class SignalPipe {
public:
    SignalPipe();
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    int readFd() const { return readFd_; }
    std::vector<int> takeSignals();

private:
    int readFd_ = -1;
};

} // namespace sim
