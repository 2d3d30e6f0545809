#include "toolkit/signal_pipe.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace toolkit {

namespace {

int writeFd = -1;
volatile std::sig_atomic_t endAtOnce = 0;
volatile std::sig_atomic_t seenOne = 0;

extern "C" void onSignal(int number) {
    if (endAtOnce && seenOne) {
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    seenOne = 1;
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalPipe::SignalPipe(std::initializer_list<int> signalNumbers, bool secondEndsAtOnce)
    : numbers_(signalNumbers) {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    readFd_ = ends[0];
    writeFd = ends[1];
    endAtOnce = secondEndsAtOnce ? 1 : 0;
    seenOne = 0;
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : numbers_)
        ::sigaction(number, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
    if (readFd_ < 0)
        return;
    for (int number : numbers_)
        std::signal(number, SIG_DFL);
    ::close(writeFd);
    writeFd = -1;
    ::close(readFd_);
}

std::vector<int> SignalPipe::takeSignals() {
    std::vector<int> numbers;
    std::array<unsigned char, 64> bytes{};
    ssize_t count = 0;
    while (readFd_ >= 0 && (count = ::read(readFd_, bytes.data(), bytes.size())) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            numbers.push_back(bytes[static_cast<std::size_t>(i)]);
    }
    return numbers;
}

} // namespace toolkit
