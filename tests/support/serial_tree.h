#pragma once

// A machine's serial devices laid out in a temporary folder as the kernel and udev lay them
// out: sys/class/tty entries that link into a device tree with USB devices above the ports,
// and dev/ with device files and udev's serial/by-id and serial/by-path links (relative, as
// udev makes them) beside them.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

struct SerialTree {
    QTemporaryDir root;

    QString ttyClassDir() const { return root.filePath(QStringLiteral("sys/class/tty")); }
    QString devDir() const { return root.filePath(QStringLiteral("dev")); }
    QString byId(const QString& name) const { return devDir() + "/serial/by-id/" + name; }
    QString byPath(const QString& name) const { return devDir() + "/serial/by-path/" + name; }

    // A port with a driver and its device file. With a USB device folder, the port sits in
    // an interface of that device, which holds the ids and, when not empty, a serial number.
    void addPort(const QString& name, const QString& usbDevice = {}, const QString& vendor = {},
                 const QString& product = {}, const QString& serialNumber = {}) {
        QDir dir(root.path());
        const QString usb = QStringLiteral("sys/devices/usb1/") + usbDevice;
        QString port = QStringLiteral("sys/devices/platform/") + name;
        if (!usbDevice.isEmpty()) {
            port = usb + "/" + usbDevice + ":1." + QString::number(interfaces_++) + "/" + name;
            write(usb + "/idVendor", vendor);
            write(usb + "/idProduct", product);
            if (!serialNumber.isEmpty())
                write(usb + "/serial", serialNumber);
        }
        dir.mkpath(port + "/tty/" + name);
        dir.mkpath(QStringLiteral("sys/bus/usb-serial/drivers/x"));
        QFile::link(root.filePath(QStringLiteral("sys/bus/usb-serial/drivers/x")),
                    root.filePath(port + "/driver"));
        QFile::link(root.filePath(port), root.filePath(port + "/tty/" + name + "/device"));
        dir.mkpath(QStringLiteral("sys/class/tty"));
        QFile::link(root.filePath(port + "/tty/" + name), ttyClassDir() + "/" + name);
        addDeviceFile(name);
    }
    void addDeviceFile(const QString& name) {
        QDir(root.path()).mkpath(QStringLiteral("dev"));
        write(QStringLiteral("dev/") + name, {});
    }
    void removeDeviceFile(const QString& name) { QFile::remove(devDir() + "/" + name); }
    // kind is "by-id" or "by-path"; the link leads to dev/<device>.
    void addLink(const QString& kind, const QString& name, const QString& device) {
        QDir(root.path()).mkpath(QStringLiteral("dev/serial/") + kind);
        QFile::link(QStringLiteral("../../") + device, devDir() + "/serial/" + kind + "/" + name);
    }

private:
    void write(const QString& relativePath, const QString& text) {
        QDir(root.path()).mkpath(relativePath.section('/', 0, -2));
        QFile file(root.filePath(relativePath));
        if (file.open(QIODevice::WriteOnly))
            file.write(text.toUtf8() + (text.isEmpty() ? "" : "\n"));
    }
    int interfaces_ = 0;
};
