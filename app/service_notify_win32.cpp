#include "app/service_notify.h"

// Windows has no systemd to tell: the program never runs as one of its services there.
namespace app {

std::unique_ptr<ServiceNotifier> ServiceNotifier::fromEnvironment(Sources) {
    return nullptr;
}

ServiceNotifier::~ServiceNotifier() = default;

void ServiceNotifier::send(const QByteArray&) const {}

} // namespace app
