#include "app/stop_signals.h"

#include "toolkit/messages.h"

#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <utility>

namespace app {

namespace {

constexpr std::array kStopSignals{SIGTERM, SIGINT, SIGHUP};
int writeFd = -1;
volatile std::sig_atomic_t stopping = 0;

extern "C" void onStopSignal(int number) {
    if (stopping) {
        // Closing takes too long for whoever sent this one.
        std::signal(number, SIG_DFL);
        std::raise(number);
        return;
    }
    stopping = 1;
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(number);
    [[maybe_unused]] const ssize_t written = ::write(writeFd, &byte, 1);
    errno = savedErrno;
}

} // namespace

StopSignals::StopSignals(QObject* parent) : QObject(parent) {
    std::array<int, 2> ends{-1, -1};
    if (::pipe2(ends.data(), O_NONBLOCK | O_CLOEXEC) != 0)
        return; // no pipe: the signals keep their default action
    readFd_ = ends[0];
    writeFd = ends[1];
    stopping = 0;
    notifier_ = new QSocketNotifier(readFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::readSignals);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : kStopSignals)
        ::sigaction(number, &action, nullptr);
    // A broker that closes its end must not kill the station with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
}

StopSignals::~StopSignals() {
    if (readFd_ < 0)
        return;
    for (int number : kStopSignals)
        std::signal(number, SIG_DFL);
    ::close(writeFd);
    writeFd = -1;
    ::close(readFd_);
}

void StopSignals::readSignals() {
    unsigned char byte = 0;
    if (::read(readFd_, &byte, 1) != 1)
        return;
    notifier_->setEnabled(false); // once: the program is closing
    requested_ = true;
    // Also a box of the start, before the program's end is known: the stop does not wait.
    toolkit::closeBoxes();
    stop();
}

void StopSignals::onStop(std::function<void()> end) {
    end_ = std::move(end);
    if (requested_)
        QTimer::singleShot(0, this, &StopSignals::stop);
}

void StopSignals::stop() {
    if (end_)
        std::exchange(end_, nullptr)();
}

} // namespace app
