#pragma once

// A real Mosquitto broker for one test, on a free loopback port with a configuration the test
// writes, and subscribers that are real mosquitto_sub processes. Needs the Debian packages
// mosquitto and mosquitto-clients.

#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

#include <utility>

class MqttBroker {
public:
    // extra: lines added to the listener's configuration (TLS, passwords).
    explicit MqttBroker(const QString& extra = QStringLiteral("allow_anonymous true\n")) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
        const passwd* user = getpwuid(getuid());
        QFile conf(path(QStringLiteral("mosquitto.conf")));
        conf.open(QIODevice::WriteOnly);
        // The broker keeps the test's user: files in the test's private folder stay readable.
        conf.write(QStringLiteral("user %1\npersistence false\nper_listener_settings false\n"
                                  "listener %2 127.0.0.1\n%3")
                       .arg(QString::fromLocal8Bit(user ? user->pw_name : "root"))
                       .arg(port_)
                       .arg(extra)
                       .toUtf8());
    }
    ~MqttBroker() { stop(); }

    QString path(const QString& name) const { return dir_.filePath(name); }

    // Refuses clients without a user name: only `users` (name, password), written with
    // mosquitto_passwd into a password_file, connect, each to the topics the acl_file `acl`
    // gives it. Before start(), on a broker made without allow_anonymous.
    bool restrictTo(const QList<std::pair<QString, QString>>& users, const QByteArray& acl) {
        const QString passwords = path(QStringLiteral("senhas"));
        for (const auto& [name, password] : users) {
            QStringList arguments{"-b"};
            if (!QFile::exists(passwords))
                arguments << QStringLiteral("-c");
            if (QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                  arguments << passwords << name << password) != 0)
                return false;
        }
        QFile access(path(QStringLiteral("acl")));
        QFile conf(path(QStringLiteral("mosquitto.conf")));
        return access.open(QIODevice::WriteOnly) && access.write(acl) == acl.size() &&
               conf.open(QIODevice::Append) &&
               conf.write(QStringLiteral("allow_anonymous false\npassword_file %1\nacl_file %2\n")
                              .arg(passwords, access.fileName())
                              .toUtf8()) > 0;
    }
    int port() const { return port_; }

    bool start() {
        process_.setProcessChannelMode(QProcess::MergedChannels);
        process_.start(QStringLiteral("mosquitto"), {"-c", path(QStringLiteral("mosquitto.conf"))});
        if (!process_.waitForStarted())
            return false;
        for (int waited = 0; waited < 5000; waited += 50) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, port_);
            if (socket.waitForConnected(50))
                return true;
            if (process_.state() == QProcess::NotRunning)
                break;
            QTest::qWait(50);
        }
        qWarning() << "mosquitto did not start:" << process_.readAll();
        return false;
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

private:
    QTemporaryDir dir_;
    int port_ = 0;
    QProcess process_;
};

// One mosquitto_sub on a topic filter; every message as "<retained 0|1> <topic> <payload>".
class MqttSubscriber {
public:
    struct Message {
        bool retained = false;
        QString topic;
        QString payload;
        qint64 receivedMs = 0; // when this process read it, milliseconds since 1970
    };

    MqttSubscriber(const MqttBroker& broker, const QString& filter, QStringList extra = {}) {
        extra << QStringLiteral("-h") << QStringLiteral("127.0.0.1") << QStringLiteral("-p")
              << QString::number(broker.port()) << QStringLiteral("-t") << filter
              << QStringLiteral("-F") << QStringLiteral("%r %t %p");
        QObject::connect(&process_, &QProcess::readyReadStandardOutput, [this] { read(); });
        process_.start(QStringLiteral("mosquitto_sub"), extra);
        process_.waitForStarted();
    }
    ~MqttSubscriber() {
        process_.terminate();
        process_.waitForFinished(5000);
    }

    const QList<Message>& messages() {
        read();
        return messages_;
    }
    // The last payload seen on a topic, empty when none.
    QString last(const QString& topic) {
        read();
        for (qsizetype i = messages_.size() - 1; i >= 0; --i) {
            if (messages_[i].topic == topic)
                return messages_[i].payload;
        }
        return {};
    }
    QList<Message> on(const QString& topic) {
        QList<Message> found;
        for (const Message& message : messages()) {
            if (message.topic == topic)
                found << message;
        }
        return found;
    }

private:
    void read() {
        buffer_ += process_.readAllStandardOutput();
        qsizetype end;
        while ((end = buffer_.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(buffer_.left(end));
            buffer_.remove(0, end + 1);
            const qsizetype space = line.indexOf(u' ', 2);
            messages_.append({line.startsWith(u'1'), line.mid(2, space - 2),
                              space < 0 ? QString() : line.mid(space + 1),
                              QDateTime::currentMSecsSinceEpoch()});
        }
    }

    QProcess process_;
    QByteArray buffer_;
    QList<Message> messages_;
};
