// The udev rule that hands the bus adapters to the user at the seat: its matches are read from
// the file and played against the real ids and drivers of the adapters, and udevadm itself
// reads the file where the machine lets a test do so.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <fnmatch.h>

namespace {

const QString kRuleFile = QStringLiteral(UDEV_RULE_FILE);

// What a tty device shows udev: its own subsystem and kernel name, and up its parents the USB
// ids and the drivers.
struct Device {
    QString subsystem;
    QString kernel;
    QString vendor;
    QString product;
    QStringList drivers;
};

struct Assignment {
    QString key;
    QString op;
    QString value;
};

// udev's patterns: shell globs, alternatives split by '|'.
bool matchesPattern(const QString& value, const QString& pattern) {
    for (const QString& alternative : pattern.split(u'|'))
        if (::fnmatch(alternative.toUtf8().constData(), value.toUtf8().constData(), 0) == 0)
            return true;
    return false;
}

QList<QList<Assignment>> readRules(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read %s", qPrintable(path));
    static const QRegularExpression pair(QStringLiteral(
        "^\\s*([A-Z]+(?:\\{[^}]*\\})?)\\s*(==|!=|\\+=|=)\\s*\"([^\"]*)\"\\s*(?:,|$)"));
    QList<QList<Assignment>> rules;
    while (!file.atEnd()) {
        QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QList<Assignment> rule;
        while (!line.isEmpty()) {
            const QRegularExpressionMatch m = pair.match(line);
            if (!m.hasMatch())
                qFatal("unreadable rule text: %s", qPrintable(line));
            rule.append({m.captured(1), m.captured(2), m.captured(3)});
            line = line.mid(m.capturedLength()).trimmed();
        }
        rules.append(rule);
    }
    return rules;
}

// The tags the rules give a device at "add"; only the keys this test knows may appear, so a
// rule it cannot judge fails it instead of passing unseen.
QStringList tagsFor(const QList<QList<Assignment>>& rules, const Device& device) {
    QStringList tags;
    QString skipTo;
    for (const QList<Assignment>& rule : rules) {
        if (!skipTo.isEmpty()) {
            if (rule.size() == 1 && rule[0].key == u"LABEL" && rule[0].value == skipTo)
                skipTo.clear();
            continue;
        }
        bool matches = true;
        QList<Assignment> actions;
        for (const Assignment& a : rule) {
            if (a.op == u"==" || a.op == u"!=") {
                bool hit = false;
                if (a.key == u"ACTION")
                    hit = matchesPattern(QStringLiteral("add"), a.value);
                else if (a.key == u"SUBSYSTEM")
                    hit = matchesPattern(device.subsystem, a.value);
                else if (a.key == u"KERNEL")
                    hit = matchesPattern(device.kernel, a.value);
                else if (a.key == u"ATTRS{idVendor}")
                    hit = !device.vendor.isEmpty() && matchesPattern(device.vendor, a.value);
                else if (a.key == u"ATTRS{idProduct}")
                    hit = !device.product.isEmpty() && matchesPattern(device.product, a.value);
                else if (a.key == u"DRIVERS")
                    hit = std::any_of(device.drivers.begin(), device.drivers.end(),
                                      [&](const QString& d) { return matchesPattern(d, a.value); });
                else
                    qFatal("the test does not know the match key %s", qPrintable(a.key));
                matches = matches && (hit == (a.op == u"=="));
            } else {
                actions.append(a);
            }
        }
        if (!matches)
            continue;
        for (const Assignment& a : actions) {
            if (a.key == u"TAG" && a.op == u"+=")
                tags << a.value;
            else if (a.key == u"GOTO")
                skipTo = a.value;
            else if (a.key != u"LABEL")
                qFatal("the test does not know the assignment %s", qPrintable(a.key));
        }
    }
    return tags;
}

} // namespace

class TestUdevRule : public QObject {
    Q_OBJECT

private slots:
    void adaptersAreHandedToTheSeat_data() {
        QTest::addColumn<QString>("subsystem");
        QTest::addColumn<QString>("kernel");
        QTest::addColumn<QString>("vendor");
        QTest::addColumn<QString>("product");
        // The drivers up from the tty: the usb-serial port's, then the USB interface's.
        QTest::addColumn<QString>("drivers");
        QTest::addColumn<bool>("tagged");
        const auto tty = [](const char* row, const char* kernel, const char* vendor,
                            const char* product, const char* driver, bool tagged) {
            QTest::newRow(row) << "tty" << kernel << vendor << product << driver << tagged;
        };
        tty("FTDI FT232R", "ttyUSB0", "0403", "6001", "ftdi_sio,ftdi_sio", true);
        tty("FTDI FT2232H", "ttyUSB1", "0403", "6010", "ftdi_sio,ftdi_sio", true);
        tty("FTDI FT4232H", "ttyUSB3", "0403", "6011", "ftdi_sio,ftdi_sio", true);
        tty("FTDI FT232H", "ttyUSB0", "0403", "6014", "ftdi_sio,ftdi_sio", true);
        tty("FTDI FT-X", "ttyUSB0", "0403", "6015", "ftdi_sio,ftdi_sio", true);
        tty("CH340", "ttyUSB0", "1a86", "7523", "ch341-uart,ch341", true);
        tty("CH341", "ttyUSB0", "1a86", "5523", "ch341-uart,ch341", true);
        tty("CH343", "ttyACM0", "1a86", "55d3", "cdc_acm", true);
        tty("CH9102", "ttyACM0", "1a86", "55d4", "cdc_acm", true);
        tty("CP2102", "ttyUSB0", "10c4", "ea60", "cp210x,cp210x", true);
        tty("CP2105", "ttyUSB1", "10c4", "ea70", "cp210x,cp210x", true);
        tty("CP2108", "ttyUSB2", "10c4", "ea71", "cp210x,cp210x", true);
        tty("PL2303", "ttyUSB0", "067b", "2303", "pl2303,pl2303", true);
        tty("PL2303GC", "ttyUSB0", "067b", "23a3", "pl2303,pl2303", true);
        tty("PL2303GT", "ttyUSB0", "067b", "23c3", "pl2303,pl2303", true);
        // WCH's own driver, built outside the kernel, names its ports ttyCH343USB.
        tty("CH343 on the maker's driver", "ttyCH343USB0", "1a86", "55d3", "usb_ch343", true);
        // The same chips inside another maker's converter.
        tty("B&B USOPTL4 RS-485 (FTDI)", "ttyUSB0", "0856", "ac11", "ftdi_sio,ftdi_sio", true);
        tty("ATEN UC-232A (PL2303)", "ttyUSB0", "0557", "2008", "pl2303,pl2303", true);
        tty("CH341 under 4348", "ttyUSB0", "4348", "5523", "ch341-uart,ch341", true);
        tty("ttyACM board", "ttyACM0", "2341", "0043", "cdc_acm", true);
        // Not a bus adapter: the on-board port and a mobile modem keep their group.
        tty("on-board 16550", "ttyS0", "", "", "serial8250", false);
        tty("mobile modem", "ttyUSB0", "12d1", "1001", "option1,option", false);
        QTest::newRow("the adapter's raw USB node") << "usb"
                                                    << "1-2"
                                                    << "0403"
                                                    << "6001"
                                                    << "usb" << false;
    }
    void adaptersAreHandedToTheSeat() {
        QFETCH(QString, subsystem);
        QFETCH(QString, kernel);
        QFETCH(QString, vendor);
        QFETCH(QString, product);
        QFETCH(QString, drivers);
        QFETCH(bool, tagged);
        const Device device{subsystem, kernel, vendor, product,
                            drivers.split(u',') << QStringLiteral("usb")};
        QStringList tags = tagsFor(readRules(kRuleFile), device);
        tags.removeDuplicates();
        QCOMPARE(tags, tagged ? QStringList{"uaccess"} : QStringList{});
    }

    // uaccess becomes the seat tag in 71-seat.rules and an access list in 73-seat-late.rules.
    void sortsBeforeTheSeatRules() {
        const QString name = QFileInfo(kRuleFile).fileName();
        QCOMPARE(name, QStringLiteral("70-anemometros.rules"));
        QVERIFY(name < QStringLiteral("71-seat.rules"));
        QVERIFY(name < QStringLiteral("73-seat-late.rules"));
    }

    // udevadm reads the rule among the system's own, in a mount namespace of its own whose
    // /dev and /run/udev are empty, so that the run changes nothing on the machine.
    void udevadmReadsTheRule() {
        const QString udevadm = QStandardPaths::findExecutable(QStringLiteral("udevadm"));
        const QString unshare = QStandardPaths::findExecutable(QStringLiteral("unshare"));
        if (udevadm.isEmpty() || unshare.isEmpty())
            QSKIP("udevadm or unshare is not installed (apt-get install udev)");
        if (!QDir(QStringLiteral("/etc/udev/rules.d")).exists())
            QSKIP("/etc/udev/rules.d is missing");
        QTemporaryDir rules;
        QVERIFY(QFile::copy(kRuleFile, rules.filePath(QStringLiteral("70-anemometros.rules"))));

        QStringList devices;
        for (const QString& name :
             QDir(QStringLiteral("/sys/class/tty")).entryList({"ttyS0", "ttyUSB*", "ttyACM*"}))
            devices << QStringLiteral("/sys/class/tty/") + name;
        if (devices.isEmpty())
            QSKIP("no serial device in /sys/class/tty to run the rules on");
        for (const QString& device : devices) {
            QProcess run;
            run.setProcessChannelMode(QProcess::MergedChannels);
            run.start(unshare, {"-m", "--propagation", "private", "sh", "-c",
                                "mount -t tmpfs none /run/udev && mount -t tmpfs none /dev && "
                                "mount --bind \"$0\" /etc/udev/rules.d && "
                                "exec udevadm test --action=add \"$1\"",
                                rules.path(), device});
            QVERIFY(run.waitForFinished(30000));
            const QString output = QString::fromUtf8(run.readAll());
            if (run.exitCode() != 0 && !output.contains(u"Reading rules file"))
                QSKIP(qPrintable("udevadm cannot run here: " + output.left(300)));
            QVERIFY2(output.contains(u"/etc/udev/rules.d/70-anemometros.rules"),
                     qPrintable(output));
            // udevadm names file and line before each complaint about a rule.
            QVERIFY2(!output.contains(u"70-anemometros.rules:"), qPrintable(output));
            const QStringList ours{"ftdi_sio", "ch341", "cp210x", "pl2303", "cdc_acm"};
            const bool adapter =
                ours.contains(
                    QFileInfo(device + "/device/driver").symLinkTarget().section('/', -1)) ||
                ours.contains(
                    QFileInfo(device + "/device/../driver").symLinkTarget().section('/', -1));
            const QRegularExpression tags(QStringLiteral("^TAGS=.*:uaccess:"),
                                          QRegularExpression::MultilineOption);
            QVERIFY2(output.contains(tags) == adapter, qPrintable(device + "\n" + output));
        }
    }
};

QTEST_GUILESS_MAIN(TestUdevRule)
#include "tst_udev_rule.moc"
