#include "app/service_notify.h"

#include "health/health_monitor.h"
#include "modbus/stations.h"
#include "settings/station_settings.h"

#include <QTimer>

#include <algorithm>

#include <chrono>
#include <cstddef>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <utility>

namespace app {

namespace {

// sockaddr_un for NOTIFY_SOCKET: a path, or "@name" for a name in the abstract namespace.
QByteArray socketAddress(const QByteArray& name) {
    sockaddr_un address{};
    if (name.size() < 2 || (name[0] != '/' && name[0] != '@') ||
        static_cast<std::size_t>(name.size()) > sizeof address.sun_path)
        return {};
    address.sun_family = AF_UNIX;
    std::copy(name.begin(), name.end(), address.sun_path);
    if (name[0] == '@')
        address.sun_path[0] = '\0';
    const std::size_t length = offsetof(sockaddr_un, sun_path) +
                               static_cast<std::size_t>(name.size()) + (name[0] == '/' ? 1 : 0);
    return {reinterpret_cast<const char*>(&address), static_cast<qsizetype>(length)};
}

// The watchdog period systemd asked for, if it asked this process.
std::chrono::microseconds watchdogInterval(const QByteArray& usec, const QByteArray& pid) {
    bool read = false;
    if (!pid.isEmpty() && pid.toLongLong(&read) != ::getpid())
        return {};
    const qulonglong interval = usec.toULongLong(&read);
    return std::chrono::microseconds(read ? interval : 0);
}

} // namespace

QString serviceStatusText(bus::PortState state, const QString& portName, int answering,
                          int polled) {
    // A bare name is a device under /dev/, as the port opens it.
    const QString device = portName.contains(u'/') ? portName : QStringLiteral("/dev/") + portName;
    const QString port = QStringLiteral("Porta %1 ").arg(device);
    switch (state) {
    case bus::PortState::Open:
        return port +
               QStringLiteral("aberta; %1 de %2 estações respondendo").arg(answering).arg(polled);
    case bus::PortState::WaitingToOpen:
        return port + QStringLiteral("aguardando abertura");
    case bus::PortState::ReportingOpenFailure:
    case bus::PortState::WaitingForUser:
        return port + QStringLiteral("não pôde ser aberta");
    case bus::PortState::Lost:
        return port + QStringLiteral("perdida; nova tentativa a cada 5 s");
    case bus::PortState::ClosedForConfiguration:
        return port + QStringLiteral("fechada para a configuração");
    }
    return port;
}

std::unique_ptr<ServiceNotifier> ServiceNotifier::fromEnvironment(Sources sources) {
    const QByteArray socketName = qgetenv("NOTIFY_SOCKET");
    const QByteArray usec = qgetenv("WATCHDOG_USEC");
    const QByteArray pid = qgetenv("WATCHDOG_PID");
    const QByteArray address = socketAddress(socketName);
    if (address.isEmpty())
        return nullptr;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return nullptr;
    std::unique_ptr<ServiceNotifier> notifier(new ServiceNotifier(sources, fd, address));
    using namespace std::chrono;
    if (const microseconds interval = watchdogInterval(usec, pid); interval.count() > 0) {
        // A quarter of the period: well inside the half sd_watchdog_enabled(3) recommends, also
        // when the loop is busy with a long tick.
        const auto period = std::max(milliseconds(1), duration_cast<milliseconds>(interval / 4));
        notifier->watchdog_ = new QTimer(notifier.get());
        notifier->watchdog_->setTimerType(Qt::PreciseTimer);
        connect(notifier->watchdog_, &QTimer::timeout, notifier.get(),
                [self = notifier.get()] { self->send("WATCHDOG=1"); });
        notifier->watchdog_->start(period);
        notifier->send("WATCHDOG=1");
    }
    notifier->updateStatus();
    return notifier;
}

ServiceNotifier::ServiceNotifier(Sources sources, int socketFd, QByteArray address)
    : sources_(sources), fd_(socketFd), address_(std::move(address)),
      portName_(sources.settings.portName()) {}

ServiceNotifier::~ServiceNotifier() {
    ::close(fd_);
}

void ServiceNotifier::send(const QByteArray& message) const {
    // Never blocks the window thread: a datagram that cannot go now is dropped.
    ::sendto(fd_, message.constData(), static_cast<std::size_t>(message.size()),
             MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(address_.constData()),
             static_cast<socklen_t>(address_.size()));
}

QByteArray ServiceNotifier::statusLine() const {
    int polled = 0;
    int answering = 0;
    for (int station = 1; station <= kStations; ++station) {
        if (!sources_.settings.polled(station))
            continue;
        ++polled;
        const health::StationHealth& counts = sources_.health.station(station);
        if (counts.sinceStart().good > 0 && counts.answering())
            ++answering;
    }
    return "STATUS=" + serviceStatusText(sources_.portState, portName_, answering, polled).toUtf8();
}

void ServiceNotifier::updateStatus() {
    if (stopping_)
        return;
    QByteArray status = statusLine();
    if (status == lastStatus_)
        return;
    lastStatus_ = status;
    send(status);
}

void ServiceNotifier::ready() {
    if (ready_ || stopping_)
        return;
    ready_ = true;
    send("READY=1");
}

void ServiceNotifier::pollFinished(const bus::PollOutcome& outcome,
                                   const readings::Reading* reading) {
    Q_UNUSED(reading);
    if (outcome.cutShort)
        return;
    updateStatus();
    // The request of this poll went out before its reply was read.
    ready();
}

void ServiceNotifier::portStateChanged(bus::PortState from, bus::PortState to,
                                       const QString& portName) {
    Q_UNUSED(from);
    sources_.portState = to;
    portName_ = portName;
    updateStatus();
    if (to == bus::PortState::ReportingOpenFailure || to == bus::PortState::WaitingForUser)
        ready();
}

void ServiceNotifier::stopping() {
    if (std::exchange(stopping_, true))
        return;
    send("STOPPING=1\nSTATUS=Encerrando");
}

} // namespace app
