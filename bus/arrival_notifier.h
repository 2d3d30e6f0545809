#pragma once

#include "serial/serial_port.h"

#include <QObject>

namespace bus {

// Tells the message loop that a port's input is waiting: a socket notifier on the port's
// descriptor on POSIX systems, an event notifier on its arrival event on Windows.
class ArrivalNotifier : public QObject {
    Q_OBJECT

public:
    explicit ArrivalNotifier(QObject* parent = nullptr);
    ~ArrivalNotifier() override;

    // Watches `handle` from now on (serial::SerialPort::arrivalHandle()), enabled.
    void watch(serial::ArrivalHandle handle);
    void setEnabled(bool enabled);

signals:
    void arrived();

private:
    QObject* notifier_ = nullptr;
};

} // namespace bus
