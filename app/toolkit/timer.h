#pragma once

#include <QObject>
#include <QTimer>

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

signals:
    void timeout();

private:
    void restart();

    QTimer timer_;
    int intervalMs_;
    bool enabled_;
};

} // namespace toolkit
