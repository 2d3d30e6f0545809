#include "app/stop_signals.h"

#include "toolkit/messages.h"

#include <QSocketNotifier>
#include <QTimer>

#include <csignal>

#include <utility>

namespace app {

StopSignals::StopSignals(QObject* parent)
    : QObject(parent), pipe_({SIGTERM, SIGINT, SIGHUP}, /*secondEndsAtOnce=*/true) {
    if (pipe_.readFd() < 0)
        return; // no pipe: the signals keep their default action
    notifier_ = new QSocketNotifier(pipe_.readFd(), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &StopSignals::readSignals);
}

StopSignals::~StopSignals() = default;

void StopSignals::readSignals() {
    if (pipe_.takeSignals().empty())
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
