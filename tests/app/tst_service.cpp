// The real program as a systemd service would run it, against anemosim: what it tells the
// service manager through a real AF_UNIX datagram socket passed as NOTIFY_SOCKET, and the
// priorities its standard-error reports carry when standard error is the journal's stream.

#include "program_station.h"

#include <QDate>
#include <QProcessEnvironment>
#include <QTest>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

qint64 monotonicMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// The service manager's end of NOTIFY_SOCKET: every line of every datagram, with the time it
// was read (the test reads often enough that this is within a few milliseconds of sending).
class NotifySocket {
public:
    struct Line {
        qint64 atMs = 0;
        QByteArray text;
    };

    explicit NotifySocket(const QString& path) : path_(QFile::encodeName(path)) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::copy(path_.begin(), path_.end(), address.sun_path);
        bound_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket() { ::close(fd_); }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return bound_; }
    const QList<Line>& lines() {
        char buffer[4096];
        for (ssize_t size; (size = ::recv(fd_, buffer, sizeof buffer, 0)) > 0;) {
            const qint64 now = monotonicMs();
            for (const QByteArray& text : QByteArray(buffer, size).split('\n'))
                lines_.append({now, text});
        }
        return lines_;
    }
    QList<qint64> timesOf(const QByteArray& text) {
        QList<qint64> times;
        for (const Line& line : lines())
            if (line.text == text)
                times << line.atMs;
        return times;
    }
    bool has(const QByteArray& text) { return !timesOf(text).isEmpty(); }
    // Watches for `forMs`, reading as it goes; the longest gap between two WATCHDOG=1 in it.
    qint64 longestWatchdogGap(int forMs) {
        const qint64 from = monotonicMs();
        while (monotonicMs() - from < forMs) {
            QTest::qWait(10);
            lines();
        }
        qint64 previous = from;
        qint64 longest = 0;
        for (qint64 at : timesOf("WATCHDOG=1")) {
            if (at < from)
                continue;
            longest = std::max(longest, at - previous);
            previous = at;
        }
        return std::max(longest, monotonicMs() - previous);
    }

private:
    QByteArray path_;
    int fd_ = -1;
    bool bound_ = false;
    QList<Line> lines_;
};

// When anemosim received its first request (its monotonic clock, as record.csv writes it).
qint64 firstRequestMs(const ProgramStation& station) {
    QFile file(station.path(QStringLiteral("record.csv")));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n')) {
        bool read = false;
        const qint64 at = line.split(';').value(0).toLongLong(&read);
        if (read)
            return at;
    }
    return -1;
}

QProcessEnvironment serviceEnvironment(const QString& socketPath, int watchdogMs) {
    QProcessEnvironment environment;
    environment.insert(QStringLiteral("NOTIFY_SOCKET"), socketPath);
    environment.insert(QStringLiteral("WATCHDOG_USEC"), QString::number(watchdogMs * 1000));
    return environment;
}

} // namespace

class TestService : public QObject {
    Q_OBJECT

private slots:
    // Polling two answering stations: READY=1 once, after the first request went out; the
    // status line with the port and the stations answering; WATCHDOG=1 at half the interval
    // or faster; STOPPING=1 at SIGTERM, which ends the program as "Sair" does.
    void notifiesTheServiceManager() {
        ProgramStation station(2);
        NotifySocket socket(station.path(QStringLiteral("notify")));
        QVERIFY(socket.bound());
        QVERIFY(station.start(serviceEnvironment(station.path(QStringLiteral("notify")), 1000)));

        QTRY_VERIFY_WITH_TIMEOUT(socket.has("READY=1"), 10000);
        const qint64 firstRequest = firstRequestMs(station);
        QVERIFY2(firstRequest > 0, "no request recorded before READY=1");
        QVERIFY2(firstRequest <= socket.timesOf("READY=1").constFirst(),
                 qPrintable(QStringLiteral("READY=1 at %1, first request at %2")
                                .arg(socket.timesOf("READY=1").constFirst())
                                .arg(firstRequest)));
        QTRY_VERIFY_WITH_TIMEOUT(socket.has("STATUS=Porta " + station.link.toUtf8() +
                                            " aberta; 2 de 2 estações respondendo"),
                                 10000);

        const qint64 gap = socket.longestWatchdogGap(3000);
        qInfo() << "longest gap between WATCHDOG=1:" << gap << "ms";
        QVERIFY2(gap <= 500, qPrintable(QString::number(gap)));

        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QCOMPARE(station.program.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(socket.has("STOPPING=1"), 1000);
        QCOMPARE(socket.timesOf("READY=1").size(), 1);
        QCOMPARE(station.journal().constLast().section(u';', 1, 2), QStringLiteral("-;FIM"));
    }

    // A port that cannot be opened: the program is up and says so, and the box about the port,
    // left open, does not stop the watchdog's pings; SIGTERM still ends it from under the box.
    void watchdogUnderAnOpenBox() {
        ProgramStation station(1);
        const QString missing = station.path(QStringLiteral("semporta"));
        QFile config(station.path(QStringLiteral("ConfigALL.txt")));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QByteArray text = config.readAll();
        config.close();
        text.replace(station.link.toUtf8(), missing.toUtf8());
        QVERIFY(station.write(QStringLiteral("ConfigALL.txt"), text));
        NotifySocket socket(station.path(QStringLiteral("notify")));
        QVERIFY(station.start(serviceEnvironment(station.path(QStringLiteral("notify")), 1000)));

        QTRY_VERIFY_WITH_TIMEOUT(
            socket.has("STATUS=Porta " + missing.toUtf8() + " não pôde ser aberta"), 10000);
        QVERIFY(socket.has("READY=1"));
        const qint64 gap = socket.longestWatchdogGap(3000);
        qInfo() << "longest gap between WATCHDOG=1 under the box:" << gap << "ms";
        QVERIFY2(gap <= 500, qPrintable(QString::number(gap)));

        station.signal(SIGTERM);
        QVERIFY(station.program.waitForFinished(5000));
        QCOMPARE(station.program.exitCode(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(socket.has("STOPPING=1"), 1000);
    }

    void journalPriorities_data() {
        QTest::addColumn<QString>("stream");
        QTest::addColumn<bool>("prefixed");
        QTest::newRow("standard error is the journal") << QStringLiteral("fifo") << true;
        QTest::newRow("another stream") << QStringLiteral("other") << false;
        QTest::newRow("no JOURNAL_STREAM") << QString() << false;
    }

    // Standard error is a pipe; JOURNAL_STREAM names it (or not). A bad setting the program
    // runs on without is a warning; a log file that cannot be written, told again at every
    // poll under its box, is an error. Without the journal the lines read as they always have.
    void journalPriorities() {
        QFETCH(QString, stream);
        QFETCH(bool, prefixed);
        ProgramStation station(1);
        QFile config(station.path(QStringLiteral("ConfigALL.txt")));
        QVERIFY(config.open(QIODevice::ReadOnly));
        QByteArray text = config.readAll();
        config.close();
        // Station 1 logged: the first FALSE after the names.
        text.replace(text.indexOf("FALSE\r\n"), 5, "TRUE");
        QVERIFY(station.write(QStringLiteral("ConfigALL.txt"), text));
        QVERIFY(
            station.write(QStringLiteral("anemometros.ini"), "[mqtt]\nhost=127.0.0.1\nport=0\n"));
        // Station 1's log file of today (and of tomorrow, past midnight) is a folder.
        for (const QDate day : {QDate::currentDate(), QDate::currentDate().addDays(1)})
            QVERIFY(QDir(station.logFolder())
                        .mkpath(day.toString(QStringLiteral("dd-MM-yyyy")) +
                                QStringLiteral(" EST 1.txt")));

        const QByteArray fifo = QFile::encodeName(station.path(QStringLiteral("stderr")));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const int reader = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        QVERIFY(reader >= 0);
        struct stat status {};
        QCOMPARE(::stat(fifo.constData(), &status), 0);
        QProcessEnvironment environment;
        if (stream == QStringLiteral("fifo"))
            environment.insert(QStringLiteral("JOURNAL_STREAM"),
                               QStringLiteral("%1:%2").arg(status.st_dev).arg(status.st_ino));
        else if (stream == QStringLiteral("other"))
            environment.insert(QStringLiteral("JOURNAL_STREAM"),
                               QStringLiteral("%1:%2").arg(status.st_dev).arg(status.st_ino + 1));
        station.program.setStandardErrorFile(QString::fromLocal8Bit(fifo));
        QVERIFY(station.start(environment));

        QByteArray output;
        const auto readOutput = [&] {
            char buffer[4096];
            for (ssize_t size; (size = ::read(reader, buffer, sizeof buffer)) > 0;)
                output.append(buffer, size);
        };
        for (const qint64 from = monotonicMs(); monotonicMs() - from < 4000;) {
            QTest::qWait(50);
            readOutput();
        }
        station.signal(SIGTERM);
        const bool finished = station.program.waitForFinished(5000);
        readOutput();
        QVERIFY2(finished, output.right(1500).constData());
        ::close(reader);

        const QByteArray title = "K&V  ANEMÔMETROS: ";
        QByteArrayList ours;
        for (const QByteArray& line : output.split('\n'))
            if (line.contains(title))
                ours << line;
        const QByteArray report = output.right(1500);
        QVERIFY2(ours.size() >= 2, report.constData());
        bool warned = false;
        bool erred = false;
        for (const QByteArray& line : ours) {
            if (prefixed) {
                QVERIFY2(line.startsWith("<3>" + title) || line.startsWith("<4>" + title),
                         line.constData());
                warned |= line.startsWith("<4>" + title) && line.contains("port deve ser");
                erred |= line.startsWith("<3>" + title);
            } else {
                QVERIFY2(line.startsWith(title), line.constData());
                warned |= line.contains("port deve ser");
                erred |= !line.contains("port deve ser");
            }
        }
        QVERIFY2(warned, report.constData());
        QVERIFY2(erred, report.constData());
    }
};

QTEST_GUILESS_MAIN(TestService)
#include "tst_service.moc"
