#pragma once

// A real PulseAudio sound server for one test: a daemon of the test's own user with a null sink
// ("teste") as the only output, on a socket in a private folder, `pactl` to see which streams
// play on it and `parec` to record what it plays. Needs the Debian packages pulseaudio and
// pulseaudio-utils. The daemon runs as root too (CI): --system=no keeps it a per-user server in the
// private folder.

#include <QDir>
#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class SoundServer {
public:
    SoundServer() {
        QDir().mkpath(path(QStringLiteral("home")));
        QDir().mkpath(path(QStringLiteral("run")));
        QFile::setPermissions(path(QStringLiteral("run")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    ~SoundServer() { stop(); }

    QString path(const QString& name) const { return dir_.filePath(name); }
    // PULSE_SERVER for the clients.
    QString address() const { return QStringLiteral("unix:") + path(QStringLiteral("pulse.sock")); }
    // The private folders of the server and of its clients, and the address to reach it.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), path(QStringLiteral("run")));
        env.insert(QStringLiteral("PULSE_RUNTIME_PATH"), path(QStringLiteral("run/pulse")));
        env.insert(QStringLiteral("PULSE_SERVER"), address());
        return env;
    }

    bool start() {
        process_.setProcessEnvironment(environment());
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("pulseaudio"),
                       {"--daemonize=no", "--system=no", "--exit-idle-time=-1", "-n",
                        "--use-pid-file=no", "--log-target=stderr",
                        "--load=module-null-sink sink_name=teste",
                        "--load=module-native-protocol-unix auth-anonymous=1 socket=" +
                            path(QStringLiteral("pulse.sock"))});
        if (!process_.waitForStarted())
            return false;
        for (int waited = 0; waited < 10000; waited += 100) {
            if (pactl({"info"}).has_value())
                return true;
            if (process_.state() == QProcess::NotRunning)
                break;
            QTest::qWait(100);
        }
        qWarning() << "pulseaudio did not start:" << process_.readAll();
        return false;
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

    // The sample format of every stream playing on the server: "s16le 1ch 44100Hz", ...
    QStringList streams() const {
        QStringList formats;
        const auto lines = pactl({"list", "short", "sink-inputs"});
        for (const QString& line : lines.value_or(QString()).split(u'\n', Qt::SkipEmptyParts))
            formats << line.section(u'\t', -1);
        return formats;
    }

private:
    std::optional<QString> pactl(const QStringList& arguments) const {
        QProcess process;
        process.setProcessEnvironment(environment());
        process.start(QStringLiteral("pactl"), arguments);
        if (!process.waitForFinished(5000) || process.exitStatus() != QProcess::NormalExit ||
            process.exitCode() != 0)
            return std::nullopt;
        return QString::fromUtf8(process.readAllStandardOutput());
    }

    QTemporaryDir dir_;
    QProcess process_;
};

// What the null sink plays, as `parec` records its monitor: 8000 mono 16-bit samples a second
// from start() on. position() says where the recording is now, so that a test can find in it
// what it did at that moment.
class SoundRecorder {
public:
    static constexpr int kRate = 8000;

    explicit SoundRecorder(const SoundServer& server) {
        process_.setProcessEnvironment(server.environment());
    }
    ~SoundRecorder() { stop(); }

    // Once the first samples have come.
    bool start() {
        process_.start(QStringLiteral("parec"),
                       {"-d", "teste.monitor", "--raw", "--format=s16le", "--channels=1",
                        "--rate=" + QString::number(kRate), "--latency-msec=10"});
        return process_.waitForStarted() && process_.waitForReadyRead(5000);
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }
    // Samples recorded so far.
    qsizetype position() {
        take();
        return bytes_.size() / 2;
    }
    QList<qint16> samples(qsizetype from, qsizetype to) {
        take();
        QList<qint16> out;
        for (qsizetype i = from; i < to && 2 * i + 1 < bytes_.size(); ++i)
            out << qint16(quint8(bytes_[2 * i]) | quint8(bytes_[2 * i + 1]) << 8);
        return out;
    }

private:
    void take() { bytes_ += process_.readAllStandardOutput(); }

    QProcess process_;
    QByteArray bytes_;
};
