#include "timer.h"

namespace toolkit {

Timer::Timer(QObject* parent, int intervalMs, bool enabled)
    : QObject(parent), intervalMs_(intervalMs), enabled_(enabled) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::timeout);
    restart();
}

void Timer::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    restart();
}

void Timer::setInterval(int intervalMs) {
    if (intervalMs == intervalMs_)
        return;
    intervalMs_ = intervalMs;
    restart();
}

void Timer::restart() {
    timer_.stop();
    // A QTimer with interval 0 would fire on every pass of the event loop; ours never ticks.
    if (enabled_ && intervalMs_ > 0)
        timer_.start(intervalMs_);
}

} // namespace toolkit
