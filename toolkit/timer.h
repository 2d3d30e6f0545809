#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <vector>

namespace toolkit {

// A timer with an Enabled flag and an Interval, as the station's design expects:
// setting the interval never enables it, setting the interval of an enabled timer restarts
// its period, and an enabled timer whose interval is 0 (or less) never ticks.
class Timer : public QObject {
    Q_OBJECT

public:
    Timer(QObject* parent, int intervalMs, bool enabled);

    bool enabled() const { return enabled_; }
    void setEnabled(bool enabled);
    int interval() const { return intervalMs_; }
    void setInterval(int intervalMs);

    // True when a tick is actually scheduled (enabled and interval above 0).
    bool isTicking() const { return timer_.isActive(); }

    // While held, a tick that falls due is kept, not delivered; releasing delivers it through
    // the message loop, as Qt delivers an overdue timer once a blocking call has returned.
    // Stopping or restarting the timer meanwhile drops the kept tick.
    void holdTicks() { held_ = true; }
    void releaseTicks();

signals:
    void timeout();

private:
    friend class StartupHold;
    void restart();
    void fire();
    void deliverHeldTick();

    QTimer timer_;
    int intervalMs_;
    bool enabled_;
    bool held_ = false;
    bool tickHeld_ = false;
};

// While the program starts, its timers run but do not tick: their first ticks come from the
// message loop, once every window exists. A box shown during start-up runs a loop of its own;
// a tick that falls due under it is held and delivered as soon as the message loop runs.
class StartupHold {
public:
    StartupHold();
    ~StartupHold();
    StartupHold(const StartupHold&) = delete;
    StartupHold& operator=(const StartupHold&) = delete;

    // Lets the held ticks come: each is delivered by the next pass of the message loop.
    void release();

    static bool active();

private:
    friend class Timer;
    static void hold(Timer* timer);

    bool released_ = false;
};

} // namespace toolkit
