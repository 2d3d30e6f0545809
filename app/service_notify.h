#pragma once

#include "bus/poll_outcome.h"
#include "readings/reading_feed.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

class QTimer;

namespace health {
class HealthMonitor;
}

namespace settings {
class StationSettings;
}

namespace app {

// The status line systemd shows for the service: the port's state and, while it is open, how
// many of the polled stations answer.
QString serviceStatusText(bus::PortState state, const QString& portName, int answering, int polled);

// Tells systemd how the program is doing when it runs as a service of Type=notify: READY=1
// once the windows are up and the first request has gone out (or the port has been found
// unusable: the program is up and says so), WATCHDOG=1 from the window thread's message loop,
// which a box's own loop keeps running, the STATUS= line whenever it changes, and STOPPING=1
// as the program closes. The datagrams follow sd_notify's stable protocol; the few lines it
// takes spare the program a library. Exists only when systemd passed NOTIFY_SOCKET.
class ServiceNotifier : public QObject, public readings::ReadingListener {
    Q_OBJECT

public:
    struct Sources {
        const settings::StationSettings& settings;
        const health::HealthMonitor& health;
        bus::PortState portState;
    };

    // Null without NOTIFY_SOCKET. The environment is left as it is (other threads may read it
    // by now): programs started from here (a PDF viewer) are not heard, since systemd takes
    // notifications from the main process only, and WATCHDOG_PID names this one.
    static std::unique_ptr<ServiceNotifier> fromEnvironment(Sources sources);
    ~ServiceNotifier() override;
    ServiceNotifier(const ServiceNotifier&) = delete;
    ServiceNotifier& operator=(const ServiceNotifier&) = delete;

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    void portStateChanged(bus::PortState from, bus::PortState to, const QString& portName) override;
    // Once; later calls are ignored.
    void stopping();

private:
    ServiceNotifier(Sources sources, int socketFd, QByteArray address);
    void send(const QByteArray& message) const;
    void ready();
    QByteArray statusLine() const;
    void updateStatus();

    Sources sources_;
    int fd_ = -1;
    QByteArray address_; // sockaddr_un, as long as the socket's name needs
    QTimer* watchdog_ = nullptr;
    QString portName_;
    bool ready_ = false;
    bool stopping_ = false;
    QByteArray lastStatus_;
};

} // namespace app
