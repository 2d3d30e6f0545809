#pragma once

#include <initializer_list>
#include <vector>

namespace toolkit {

// Turns signals into bytes on a pipe, so that a loop sees a signal as any other input and never
// acts inside a handler (the self-pipe). One at a time per process. With `secondEndsAtOnce`, a
// second signal after the first is not queued: it ends the process by its default action, for
// whoever finds the stop too slow. SIGPIPE is ignored: a reader that goes away (a broker, the
// reader of standard output) must not kill the process.
class SignalPipe {
public:
    SignalPipe(std::initializer_list<int> signalNumbers, bool secondEndsAtOnce);
    ~SignalPipe();
    SignalPipe(const SignalPipe&) = delete;
    SignalPipe& operator=(const SignalPipe&) = delete;

    // -1 when no pipe could be made: the signals keep their default action then.
    int readFd() const { return readFd_; }
    // The signals that came since the last call, in order.
    std::vector<int> takeSignals();

private:
    std::vector<int> numbers_;
    int readFd_ = -1;
};

} // namespace toolkit
