#include "toolkit/timer.h"

#include <utility>

namespace toolkit {

Timer::Timer(QObject* parent, int intervalMs, bool enabled)
    : QObject(parent), intervalMs_(intervalMs), enabled_(enabled) {
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &Timer::fire);
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
    tickHeld_ = false;
    // A QTimer with interval 0 would fire on every pass of the event loop; ours never ticks.
    if (enabled_ && intervalMs_ > 0)
        timer_.start(intervalMs_);
}

void Timer::fire() {
    if (StartupHold::active()) {
        StartupHold::hold(this);
        return;
    }
    if (held_) {
        tickHeld_ = true;
        return;
    }
    emit timeout();
}

void Timer::releaseTicks() {
    if (std::exchange(held_, false) && tickHeld_)
        deliverHeldTick();
}

void Timer::deliverHeldTick() {
    QTimer::singleShot(0, this, [this] {
        // Held again meanwhile: the next release delivers it.
        if (!tickHeld_ || held_ || StartupHold::active())
            return;
        tickHeld_ = false;
        // The timer may have been stopped since its tick fell due.
        if (isTicking())
            emit timeout();
    });
}

namespace {
bool holding = false;
std::vector<QPointer<Timer>> heldTimers;
} // namespace

StartupHold::StartupHold() {
    holding = true;
}

StartupHold::~StartupHold() {
    release();
}

bool StartupHold::active() {
    return holding;
}

void StartupHold::hold(Timer* timer) {
    if (timer->tickHeld_)
        return;
    timer->tickHeld_ = true;
    heldTimers.emplace_back(timer);
}

void StartupHold::release() {
    if (released_)
        return;
    released_ = true;
    holding = false;
    for (const QPointer<Timer>& timer : std::exchange(heldTimers, {})) {
        if (timer)
            timer->deliverHeldTick();
    }
}

} // namespace toolkit
