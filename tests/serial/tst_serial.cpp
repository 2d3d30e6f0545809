#include "serial/open_messages.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

#include "serial_tree.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

using Bytes = std::vector<std::uint8_t>;

namespace {

// A pseudo-terminal: the program opens the slave's path, the test plays the stations on the
// master side.
struct Pty {
    int master = -1;
    std::string slavePath;

    Pty() {
        int slave = -1;
        if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
            qFatal("openpty failed");
        slavePath = ::ptsname(master);
        ::close(slave);
    }
    ~Pty() { closeMaster(); }
    void closeMaster() {
        if (master >= 0)
            ::close(master);
        master = -1;
    }
    void send(const Bytes& bytes) const {
        QCOMPARE(::write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    // Up to count bytes, ending when none comes for 500 ms.
    Bytes receive(std::size_t count) const {
        Bytes bytes(count);
        std::size_t got = 0;
        pollfd entry{master, POLLIN, 0};
        while (got < count && (::poll(&entry, 1, 500) > 0)) {
            const ssize_t n = ::read(master, bytes.data() + got, count - got);
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        bytes.resize(got);
        return bytes;
    }
};

Bytes pattern(std::size_t count) {
    Bytes bytes(count);
    for (std::size_t i = 0; i < count; ++i)
        bytes[i] = std::uint8_t(i * 7);
    return bytes;
}

QString text(const std::string& utf8) {
    return QString::fromStdString(utf8);
}

} // namespace

class TestSerial : public QObject {
    Q_OBJECT

private slots:
    void openSetsRawLine_data() {
        QTest::addColumn<QString>("baud");
        QTest::addColumn<uint>("speed");
        QTest::newRow("9600") << "9600" << uint(B9600);
        QTest::newRow("19200") << "19200" << uint(B19200);
    }
    void openSetsRawLine() {
        QFETCH(QString, baud);
        QFETCH(uint, speed);
        Pty pty;
        // Start from a cooked line with echo, parity and flow control, as a terminal may be.
        termios cooked{};
        QCOMPARE(::tcgetattr(pty.master, &cooked), 0);
        cooked.c_lflag |= ECHO | ICANON | ISIG;
        cooked.c_iflag |= IXON | IXOFF | ICRNL;
        cooked.c_oflag |= OPOST | ONLCR;
        cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        QCOMPARE(::tcsetattr(pty.master, TCSANOW, &cooked), 0);

        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, baud.toStdString() + ",N,8,1").ok);
        QVERIFY(port.isOpen());
        termios line{};
        QCOMPARE(::tcgetattr(pty.master, &line), 0);
        QCOMPARE(line.c_lflag & (ECHO | ICANON | ISIG), 0u);
        QCOMPARE(line.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        QCOMPARE(line.c_oflag & OPOST, 0u);
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(line.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QCOMPARE(uint(::cfgetospeed(&line)), speed);
        QCOMPARE(uint(::cfgetispeed(&line)), speed);
    }

    void emptyReadWaitsTheTotalTimeout() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.read().empty());
        QVERIFY2(clock.elapsed() >= 230 && clock.elapsed() <= 400,
                 qPrintable(QString::number(clock.elapsed())));
    }

    void waitingReplyEndsAfterTheInterval() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        const Bytes reply = pattern(17);
        pty.send(reply);
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(port.read(), reply);
        QVERIFY2(clock.elapsed() >= 35 && clock.elapsed() <= 150,
                 qPrintable(QString::number(clock.elapsed())));
    }

    void gapsJoinOrSplitReads_data() {
        QTest::addColumn<int>("gapMs");
        QTest::addColumn<int>("reads");
        QTest::newRow("10 ms gaps are one reply") << 10 << 1;
        QTest::newRow("100 ms gaps end each read") << 100 << 4;
    }
    void gapsJoinOrSplitReads() {
        QFETCH(int, gapMs);
        QFETCH(int, reads);
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        const Bytes reply = pattern(16);
        std::thread station([&] {
            for (std::size_t chunk = 0; chunk < 4; ++chunk) {
                if (chunk > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
                ::write(pty.master, reply.data() + chunk * 4, 4);
            }
        });
        Bytes joined;
        QList<std::size_t> sizes;
        while (joined.size() < reply.size() && sizes.size() < 5) {
            const Bytes part = port.read();
            joined.insert(joined.end(), part.begin(), part.end());
            sizes << part.size();
        }
        station.join();
        QCOMPARE(joined, reply);
        QCOMPARE(sizes, QList<std::size_t>(reads, reply.size() / std::size_t(reads)));
    }

    void readTakesAtMost255Bytes() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        const Bytes sent = pattern(300);
        pty.send(sent);
        QCOMPARE(port.read(), Bytes(sent.begin(), sent.begin() + 255));
        QCOMPARE(port.read(), Bytes(sent.begin() + 255, sent.end()));
    }

    void writeReachesTheStation() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        const Bytes request{0x01, 0x03, 0x00, 0x00, 0x00, 0x06, 0xC5, 0xC8};
        QCOMPARE(port.write(request), 8);
        QCOMPARE(pty.receive(request.size() + 1), request);
    }

    void closedPortDoesNothing() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        QVERIFY(port.close());
        QVERIFY(!port.close());
        QVERIFY(!port.isOpen());
        QCOMPARE(port.write(Bytes{1, 2, 3}), -1);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.read().empty());
        QVERIFY(clock.elapsed() < 100);
        QVERIFY(!port.flush());
        // The lock and the exclusive flag went with the close.
        QVERIFY(serial::SerialPort().open(pty.slavePath, "9600,N,8,1").ok);
    }

    void secondOpenIsRefused() {
        Pty pty;
        serial::SerialPort holder;
        QVERIFY(holder.open(pty.slavePath, "9600,N,8,1").ok);
        serial::SerialPort intruder;
        const serial::OpenResult result = intruder.open(pty.slavePath, "9600,N,8,1");
        QVERIFY(!result.ok);
        QCOMPARE(result.failedStep, serial::OpenStep::Open);
        QVERIFY2(result.error == EBUSY || result.error == EWOULDBLOCK,
                 qPrintable(QString::number(result.error)));
        QVERIFY(!intruder.isOpen());
        QCOMPARE(holder.write(Bytes{0x42}), 1);
        QCOMPARE(pty.receive(1), Bytes{0x42});
    }

    // "<pty>" stands for a fresh pseudo-terminal, "<file>" for a regular file.
    void openFailures_data() {
        QTest::addColumn<QString>("portName");
        QTest::addColumn<QString>("lineParameters");
        QTest::addColumn<int>("step");
        QTest::addColumn<uint>("error");
        QTest::addColumn<QString>("message");
        const QString unavailable = " não disponível (pode estar sendo usada por outro programa). "
                                    "Configure os paramentros da porta serial";
        QTest::newRow("missing device")
            << "ttyNoSuchPort"
            << "9600,N,8,1" << 1 << uint(ENOENT) << "Porta Serial ttyNoSuchPort" + unavailable;
        QTest::newRow("missing path")
            << "/nonexistent/ttyX"
            << "9600,N,8,1" << 1 << uint(ENOENT) << "Porta Serial /nonexistent/ttyX" + unavailable;
        QTest::newRow("not a terminal")
            << "<file>"
            << "9600,N,8,1" << 3 << 25u
            << "Não é permitido montar os parametros da Porta 9600,N,8,1 Erro: 25";
        QTest::newRow("baud not a number")
            << "<pty>"
            << "abc,N,8,1" << 4 << 22u
            << "Não é permitido montar os parametros da Porta abc,N,8,1 Erro: 22";
        QTest::newRow("colon in the baud")
            << "<pty>"
            << "96:00,N,8,1" << 4 << 22u
            << "Não é permitido montar os parametros da Porta 96:00,N,8,1 Erro: 22";
        QTest::newRow("unsupported baud")
            << "<pty>"
            << "12345,N,8,1" << 5 << 22u
            << "Não é permitido configurar os parametros da Porta12345,N,8,1 Erro: 22";
    }
    void openFailures() {
        QFETCH(QString, portName);
        QFETCH(QString, lineParameters);
        QFETCH(int, step);
        QFETCH(uint, error);
        QFETCH(QString, message);
        Pty pty;
        QTemporaryDir dir;
        const QString file = dir.filePath("notatty");
        QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        const std::string name = portName == "<pty>"
                                     ? pty.slavePath
                                     : (portName == "<file>" ? file : portName).toStdString();

        serial::SerialPort port;
        const serial::OpenResult result = port.open(name, lineParameters.toStdString());
        QVERIFY(!result.ok);
        QCOMPARE(int(result.failedStep), step);
        QCOMPARE(result.error, error);
        QCOMPARE(text(serial::openFailureMessage(result.failedStep, name,
                                                 lineParameters.toStdString(), result.error)),
                 message);
        // Only a refused opening leaves nothing open; a refused setting waits for close().
        QCOMPARE(port.isOpen(), step != 1);
        QCOMPARE(port.close(), step != 1);
    }

    void timeoutsMessage() {
        QCOMPARE(text(serial::openFailureMessage(serial::OpenStep::Timeouts, "ttyUSB0",
                                                 "9600,N,8,1", 87)),
                 "Não é permitido configurar os Timeouts para esta porta ttyUSB0 Erro: 87");
    }

    void parseModeString_data() {
        QTest::addColumn<QString>("modeString");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("portName");
        QTest::addColumn<uint>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("dataBits");
        QTest::addColumn<int>("stopBits");
        using serial::Parity;
        using serial::StopBits;
        const auto valid = [](const char* row, QString portName, uint baud, Parity parity,
                              int dataBits, StopBits stopBits, QString modeString) {
            QTest::newRow(row) << modeString << true << portName << baud << int(parity) << dataBits
                               << int(stopBits);
        };
        valid("usual", "X", 9600, Parity::None, 8, StopBits::One, "X:9600,N,8,1");
        valid("lower case", "x", 19200, Parity::None, 8, StopBits::One, "x:19200,n,8,1");
        valid("path with colons", "/dev/serial/by-path/pci-0:1.0", 4800, Parity::Even, 7,
              StopBits::Two, "/dev/serial/by-path/pci-0:1.0:4800,e,7,2");
        valid("odd parity, 1.5 stop bits", "COM1", 110, Parity::Odd, 5, StopBits::OneAndHalf,
              "COM1:110,O,5,1.5");
        for (const char* bad :
             {"", "X:", "X:9600", ":9600,N,8,1", "X:9600,Q,8,1", "X:-5,N,8,1", "X:+5,N,8,1",
              "X:9600,N,8,1,X", "X:9600,N,8,1 ", "X: 9600,N,8,1", "X:9600,N,9,1", "X:9600,N,8,3",
              "X:9600,NN,8,1", "X:,N,8,1", "X:99999999999,N,8,1", "X:9600,N,8,"})
            QTest::newRow(*bad ? bad : "empty text") << bad << false << "" << 0u << 0 << 0 << 0;
    }
    void parseModeString() {
        QFETCH(QString, modeString);
        QFETCH(bool, valid);
        const auto settings = serial::parseModeString(modeString.toStdString());
        QCOMPARE(settings.has_value(), valid);
        if (!valid)
            return;
        QTEST(text(settings->portName), "portName");
        QTEST(settings->baudRate, "baud");
        QTEST(int(settings->parity), "parity");
        QTEST(settings->dataBits, "dataBits");
        QTEST(int(settings->stopBits), "stopBits");
    }

    void portListHasDevicesWithADriver() {
        QTemporaryDir root;
        const QString tty = root.filePath("class/tty");
        QDir dir(root.path());
        QVERIFY(dir.mkpath(tty));
        // Laid out as sysfs: class entries are links into the device tree.
        for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS0", "ttyS1", "tty0", "ptmx"}) {
            const QString device = root.filePath("devices/") + name;
            QVERIFY(dir.mkpath(device + "/device"));
            QVERIFY(QFile::link(device, tty + "/" + name));
        }
        for (const char* name : {"ttyUSB0", "ttyACM0", "ttyS1"})
            QVERIFY(QFile::link(root.filePath("drivers/x"),
                                root.filePath("devices/") + name + "/device/driver"));

        QStringList expected;
        for (QDirIterator it(tty, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
             it.hasNext();) {
            const QString name = it.next().section('/', -1);
            if (QStringList{"ttyUSB0", "ttyACM0", "ttyS1"}.contains(name))
                expected << name;
        }
        const auto ports = serial::listSerialPorts(tty.toStdString());
        QVERIFY(ports.has_value());
        QStringList listed;
        for (const std::string& port : *ports)
            listed << text(port);
        QCOMPARE(listed, expected);

        QVERIFY(!serial::listSerialPorts(root.filePath("missing").toStdString()).has_value());
        QFile file(root.filePath("plain"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(!serial::listSerialPorts(file.fileName().toStdString()).has_value());
    }

    // by-id names for adapters with a serial number of their own, by-path names for the rest;
    // links of adapters no longer present are left out.
    void stableNamesOfTheAdaptersPresent() {
        SerialTree tree;
        tree.addPort("ttyS0");
        tree.addPort("ttyUSB0", "1-1", "0403", "6001", "A50285BI");
        // Two CH340 without a serial number: udev gave their one by-id name to the later.
        tree.addPort("ttyUSB1", "1-2", "1a86", "7523");
        tree.addPort("ttyUSB2", "1-3", "1a86", "7523");
        // The two ports of one FT2232H share its serial number and differ by interface.
        tree.addPort("ttyUSB3", "1-4", "0403", "6010", "FT2A");
        tree.addPort("ttyUSB4", "1-4", "0403", "6010", "FT2A");
        // Two clones with one serial number between them.
        tree.addPort("ttyUSB5", "1-5", "0403", "6001", "A9CLONE");
        tree.addPort("ttyUSB6", "1-6", "0403", "6001", "A9CLONE");
        tree.addLink("by-id", "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
        tree.addLink("by-path", "pci-0000:00:14.0-usb-0:1:1.0-port0", "ttyUSB0");
        tree.addLink("by-id", "usb-1a86_USB_Serial-if00-port0", "ttyUSB2");
        tree.addLink("by-path", "pci-0000:00:14.0-usb-0:2:1.0-port0", "ttyUSB1");
        tree.addLink("by-path", "pci-0000:00:14.0-usb-0:3:1.0-port0", "ttyUSB2");
        tree.addLink("by-id", "usb-FTDI_Dual_RS232-HS_FT2A-if01-port0", "ttyUSB4");
        tree.addLink("by-id", "usb-FTDI_Dual_RS232-HS_FT2A-if00-port0", "ttyUSB3");
        tree.addLink("by-id", "usb-FTDI_FT232R_USB_UART_A9CLONE-if00-port0", "ttyUSB6");
        tree.addLink("by-path", "pci-0000:00:14.0-usb-0:5:1.0-port0", "ttyUSB5");
        tree.addLink("by-path", "pci-0000:00:14.0-usb-0:6:1.0-port0", "ttyUSB6");
        // An adapter pulled out a moment ago: its links are still there, its device is not.
        tree.addLink("by-id", "usb-Prolific_USB-Serial_Controller-if00-port0", "ttyUSB9");
        // A link elsewhere than the device folder.
        tree.addLink("by-id", "usb-elsewhere-if00-port0", "../ttyUSB0");

        const std::vector<std::string> ports{"ttyS0",   "ttyUSB0", "ttyUSB1", "ttyUSB2",
                                             "ttyUSB3", "ttyUSB4", "ttyUSB5", "ttyUSB6"};
        QStringList listed;
        for (const std::string& path : serial::listStablePortNames(
                 ports, tree.ttyClassDir().toStdString(), tree.devDir().toStdString()))
            listed << text(path);
        const QString dev = QDir(tree.devDir()).canonicalPath();
        QCOMPARE(listed, (QStringList{
                             dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                             dev + "/serial/by-path/pci-0000:00:14.0-usb-0:2:1.0-port0",
                             dev + "/serial/by-path/pci-0000:00:14.0-usb-0:3:1.0-port0",
                             dev + "/serial/by-id/usb-FTDI_Dual_RS232-HS_FT2A-if00-port0",
                             dev + "/serial/by-id/usb-FTDI_Dual_RS232-HS_FT2A-if01-port0",
                             dev + "/serial/by-path/pci-0000:00:14.0-usb-0:5:1.0-port0",
                             dev + "/serial/by-path/pci-0000:00:14.0-usb-0:6:1.0-port0",
                         }));
        QVERIFY(serial::listStablePortNames(ports, tree.ttyClassDir().toStdString(),
                                            tree.root.filePath("absent").toStdString())
                    .empty());
    }

    // What has arrived, at once and at most 255 bytes in all; a hung-up line is a lost device.
    void readArrivedNeverWaits() {
        Pty pty;
        serial::SerialPort port;
        Bytes bytes;
        QVERIFY(!port.readArrived(bytes));
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        QVERIFY(port.arrivalHandle() >= 0);
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.readArrived(bytes));
        QVERIFY(bytes.empty());
        QVERIFY(clock.elapsed() < 20);
        const Bytes sent = pattern(300);
        pty.send(sent);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        bytes = {1, 2};
        QVERIFY(port.readArrived(bytes));
        QCOMPARE(bytes.size(), std::size_t(255));
        QCOMPARE(Bytes(bytes.begin() + 2, bytes.end()), Bytes(sent.begin(), sent.begin() + 253));
        bytes.clear();
        QVERIFY(port.readArrived(bytes));
        QCOMPARE(bytes, Bytes(sent.begin() + 253, sent.end()));
        pty.closeMaster();
        QVERIFY(!port.readArrived(bytes));
        QVERIFY(port.deviceLost());
    }

    void vanishedDeviceFailsWithoutHanging() {
        Pty pty;
        serial::SerialPort port;
        QVERIFY(port.open(pty.slavePath, "9600,N,8,1").ok);
        pty.closeMaster();
        QElapsedTimer clock;
        clock.start();
        QVERIFY(port.read().empty());
        QCOMPARE(port.write(Bytes{1, 2, 3, 4, 5, 6, 7, 8}), -1);
        QVERIFY(port.deviceLost());
        QVERIFY(clock.elapsed() < 200);
        QVERIFY(port.close());
        QVERIFY(!port.deviceLost());
    }
};

QTEST_APPLESS_MAIN(TestSerial)
#include "tst_serial.moc"
