#include "app/service_notify.h"

#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstddef>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

// sd_notify's protocol: datagrams to the socket that NOTIFY_SOCKET names.
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

ServiceNotifier::~ServiceNotifier() {
    ::close(fd_);
}

void ServiceNotifier::send(const QByteArray& message) const {
    // Never blocks the window thread: a datagram that cannot go now is dropped.
    ::sendto(fd_, message.constData(), static_cast<std::size_t>(message.size()),
             MSG_NOSIGNAL | MSG_DONTWAIT, reinterpret_cast<const sockaddr*>(address_.constData()),
             static_cast<socklen_t>(address_.size()));
}

} // namespace app
