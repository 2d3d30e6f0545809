#pragma once

// A real SMTP server for one test (tests/support/smtp_server.py, Debian's python3-aiosmtpd) on
// a loopback port, and every message it accepted, as Python's own e-mail parser read it.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

inline int freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

class SmtpServer {
public:
    // mode: starttls, tls or plain; `extra`: --cert, --key, --login USER:PASSWORD, --refuse.
    explicit SmtpServer(QString mode, QStringList extra = {}, int port = freeLoopbackPort())
        : mode_(std::move(mode)), extra_(std::move(extra)), port_(port) {}
    ~SmtpServer() { stop(); }

    int port() const { return port_; }

    bool start() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("/usr/bin/python3"),
                       QStringList{QStringLiteral(SOURCE_DIR "/tests/support/smtp_server.py"),
                                   QString::number(port_), mail_.path(), mode_} +
                           extra_);
        if (!process_.waitForStarted())
            return false;
        for (int waited = 0; waited < 10000; waited += 20) {
            if (process_.readAllStandardOutput().contains("ready"))
                return true;
            if (process_.state() == QProcess::NotRunning)
                return false;
            process_.waitForReadyRead(20);
        }
        return false;
    }
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        process_.waitForFinished(5000);
    }

    // The messages accepted so far, oldest first.
    QList<QJsonObject> messages() const {
        QList<QJsonObject> found;
        for (int n = 1;; ++n) {
            QFile file(mail_.filePath(QStringLiteral("%1.json").arg(n)));
            if (!file.open(QIODevice::ReadOnly))
                return found;
            found << QJsonDocument::fromJson(file.readAll()).object();
        }
    }

private:
    QString mode_;
    QStringList extra_;
    int port_;
    QTemporaryDir mail_;
    QProcess process_;
};
