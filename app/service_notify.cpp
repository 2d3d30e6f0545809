#include "app/service_notify.h"

#include "health/health_monitor.h"
#include "modbus/stations.h"
#include "settings/station_settings.h"

#include <QTimer>

#include <utility>

namespace app {

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

ServiceNotifier::ServiceNotifier(Sources sources, int socketFd, QByteArray address)
    : sources_(sources), fd_(socketFd), address_(std::move(address)),
      portName_(sources.settings.portName()) {}

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
