#include "sim/signal_pipe.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace sim {

namespace {

int writeFd = -1;
constexpr std::array kCaughtSignals{SIGINT, SIGTERM, SIGHUP, SIGUSR1, SIGUSR2};

extern "C" void onSignal(int number) {
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

SignalPipe::SignalPipe() {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_NONBLOCK | O_CLOEXEC) == 0) {
        readFd_ = ends[0];
        writeFd = ends[1];
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int number : kCaughtSignals)
        ::sigaction(number, &action, nullptr);
    // A reader of our standard output that goes away must not kill the bus.
    std::signal(SIGPIPE, SIG_IGN);
}

SignalPipe::~SignalPipe() {
    for (int number : kCaughtSignals)
        std::signal(number, SIG_DFL);
    if (readFd_ >= 0)
        ::close(readFd_);
    if (writeFd >= 0)
        ::close(writeFd);
    writeFd = -1;
}

std::vector<int> SignalPipe::takeSignals() {
    std::vector<int> numbers;
    std::array<unsigned char, 64> bytes{};
    ssize_t count = 0;
    while ((count = ::read(readFd_, bytes.data(), bytes.size())) > 0) {
        for (ssize_t i = 0; i < count; ++i)
            numbers.push_back(bytes[static_cast<std::size_t>(i)]);
    }
    return numbers;
}

} // namespace sim
