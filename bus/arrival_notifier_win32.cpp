#include "bus/arrival_notifier.h"

#include <QWinEventNotifier>

namespace bus {

ArrivalNotifier::ArrivalNotifier(QObject* parent) : QObject(parent) {
    auto* notifier = new QWinEventNotifier(this);
    notifier->setEnabled(false);
    connect(notifier, &QWinEventNotifier::activated, this, &ArrivalNotifier::arrived);
    notifier_ = notifier;
}

ArrivalNotifier::~ArrivalNotifier() = default;

void ArrivalNotifier::watch(serial::ArrivalHandle handle) {
    auto* notifier = static_cast<QWinEventNotifier*>(notifier_);
    notifier->setEnabled(false);
    notifier->setHandle(reinterpret_cast<Qt::HANDLE>(handle));
    notifier->setEnabled(true);
}

void ArrivalNotifier::setEnabled(bool enabled) {
    static_cast<QWinEventNotifier*>(notifier_)->setEnabled(enabled);
}

} // namespace bus
