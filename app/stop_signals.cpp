#include "app/stop_signals.h"

#include "toolkit/messages.h"

#include <QTimer>

#include <utility>

namespace app {

void StopSignals::requested() {
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
