#include "bus/arrival_notifier.h"

#include <QSocketNotifier>

namespace bus {

ArrivalNotifier::ArrivalNotifier(QObject* parent) : QObject(parent) {
    auto* notifier = new QSocketNotifier(QSocketNotifier::Read, this);
    notifier->setEnabled(false);
    connect(notifier, &QSocketNotifier::activated, this, &ArrivalNotifier::arrived);
    notifier_ = notifier;
}

ArrivalNotifier::~ArrivalNotifier() = default;

void ArrivalNotifier::watch(serial::ArrivalHandle handle) {
    auto* notifier = static_cast<QSocketNotifier*>(notifier_);
    notifier->setSocket(qintptr(handle));
    notifier->setEnabled(true);
}

void ArrivalNotifier::setEnabled(bool enabled) {
    static_cast<QSocketNotifier*>(notifier_)->setEnabled(enabled);
}

} // namespace bus
