#include "app/stop_signals.h"

#include "toolkit/signal_pipe.h"

#include <QSocketNotifier>

#include <csignal>

namespace app {

struct StopSignals::Watch {
    toolkit::SignalPipe pipe{{SIGTERM, SIGINT, SIGHUP}, /*secondEndsAtOnce=*/true};
    QSocketNotifier* notifier = nullptr;
};

StopSignals::StopSignals(QObject* parent) : QObject(parent), watch_(std::make_unique<Watch>()) {
    if (watch_->pipe.readFd() < 0)
        return; // no pipe: the signals keep their default action
    watch_->notifier = new QSocketNotifier(watch_->pipe.readFd(), QSocketNotifier::Read, this);
    connect(watch_->notifier, &QSocketNotifier::activated, this, [this] {
        if (watch_->pipe.takeSignals().empty())
            return;
        watch_->notifier->setEnabled(false); // once: the program is closing
        requested();
    });
}

StopSignals::~StopSignals() = default;

} // namespace app
