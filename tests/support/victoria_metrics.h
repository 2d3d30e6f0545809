#pragma once

// A real VictoriaMetrics for one test, on a free loopback port with its storage in a temporary
// folder of its own, stopped with the test. The data stays in the folder across stop() and
// start(), so a test can take the database away and bring it back on the same port. Needs the
// Debian package victoria-metrics (/usr/bin/victoria-metrics).
//
// What is written becomes searchable only after the database's next in-memory flush: settle()
// asks for it (/internal/force_flush) and waits until it shows.

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

class VictoriaMetrics {
public:
    // extra: more command-line flags (-retentionPeriod=…, -dedup.minScrapeInterval=…).
    explicit VictoriaMetrics(QStringList extra = {}) : extra_(std::move(extra)) {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port_ = probe.serverPort();
        probe.close();
    }
    ~VictoriaMetrics() { stop(); }
    VictoriaMetrics(const VictoriaMetrics&) = delete;
    VictoriaMetrics& operator=(const VictoriaMetrics&) = delete;

    int port() const { return port_; }
    // "http://127.0.0.1:<port>", the base URL a writer or a reader is given.
    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(port_); }
    QString dataPath() const { return dir_.filePath(QStringLiteral("data")); }

    // Starts the database and waits until it answers /health.
    bool start() {
        if (process_.state() != QProcess::NotRunning)
            return true;
        process_.setProcessChannelMode(QProcess::MergedChannels);
        // No latency offset: a query sees what was written a moment ago.
        process_.start(QStringLiteral("victoria-metrics"),
                       QStringList{QStringLiteral("-storageDataPath=") + dataPath(),
                                   QStringLiteral("-httpListenAddr=127.0.0.1:%1").arg(port_),
                                   QStringLiteral("-loggerLevel=ERROR"),
                                   QStringLiteral("-search.latencyOffset=0s"),
                                   QStringLiteral("-search.disableCache")} +
                           extra_);
        if (!process_.waitForStarted())
            return false;
        for (int waited = 0; waited < 10000; waited += 50) {
            if (get("/health").trimmed() == "OK")
                return true;
            if (process_.state() == QProcess::NotRunning)
                break;
            QTest::qWait(50);
        }
        qWarning() << "victoria-metrics did not start:" << process_.readAll();
        return false;
    }
    // A clean stop: what was written is kept in the folder for the next start().
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.terminate();
        if (!process_.waitForFinished(10000)) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    bool running() const { return process_.state() != QProcess::NotRunning; }

    // One HTTP request on the loopback; the body of the answer, empty when none came.
    // status, when given, gets the answer's status code (0 when none).
    QByteArray request(const QByteArray& method, const QByteArray& pathAndQuery,
                       const QByteArray& body = {}, int* status = nullptr,
                       int timeoutMs = 10000) const {
        if (status)
            *status = 0;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, quint16(port_));
        if (!socket.waitForConnected(1000))
            return {};
        socket.write(method + ' ' + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" +
                     "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
                     QByteArray::number(body.size()) + "\r\n\r\n" + body);
        QByteArray answer;
        QElapsedTimer clock;
        clock.start();
        while (socket.state() == QAbstractSocket::ConnectedState && clock.elapsed() < timeoutMs) {
            socket.waitForReadyRead(100);
            answer += socket.readAll();
        }
        answer += socket.readAll();
        const qsizetype end = answer.indexOf("\r\n\r\n");
        if (end < 0)
            return {};
        if (status)
            *status = answer.left(end).split(' ').value(1).toInt();
        return answer.mid(end + 4);
    }
    QByteArray get(const QByteArray& pathAndQuery, int* status = nullptr) const {
        return request("GET", pathAndQuery, {}, status);
    }
    // Line protocol straight into the database, as a synthetic writer would.
    bool write(const QByteArray& lines) const {
        int status = 0;
        request("POST", "/write?precision=ms", lines, &status);
        return status / 100 == 2;
    }

    // Makes what was written searchable: a flush, and the second the database takes before a
    // flushed sample shows in a search.
    void settle() const {
        get("/internal/force_flush");
        QTest::qWait(1100);
        get("/internal/force_flush");
    }

    // /api/v1/export for a series selector (`anemometro_velocidade{local="obra1"}`): every
    // stored sample, duplicates included, one object per series with "metric", "values" and
    // "timestamps".
    QList<QJsonObject> exported(const QString& match) const {
        const QByteArray body =
            request("POST", "/api/v1/export", field("match[]", match), nullptr, 60000);
        QList<QJsonObject> series;
        for (const QByteArray& line : body.split('\n')) {
            if (!line.trimmed().isEmpty())
                series << QJsonDocument::fromJson(line).object();
        }
        return series;
    }
    // The number of stored samples a selector matches, duplicates included.
    qsizetype sampleCount(const QString& match) const {
        qsizetype count = 0;
        for (const QJsonObject& one : exported(match))
            count += one.value(QStringLiteral("values")).toArray().size();
        return count;
    }

    // A PromQL query, /api/v1/query (instant; time in seconds since 1970 when given) or
    // /api/v1/query_range (when end and step are given too); the JSON answer as it came.
    QJsonObject query(const QString& promql, double time = 0, double end = 0,
                      const QString& step = {}) const {
        QByteArray form = field("query", promql);
        const bool range = !step.isEmpty();
        if (time > 0)
            form += '&' + field(range ? "start" : "time", QString::number(time, 'f', 3));
        if (range)
            form += '&' + field("end", QString::number(end, 'f', 3)) + '&' + field("step", step);
        const QByteArray body =
            request("POST", range ? "/api/v1/query_range" : "/api/v1/query", form, nullptr, 60000);
        return QJsonDocument::fromJson(body).object();
    }

private:
    // One form field, its value percent-encoded whole ('+' too, a sign in PromQL).
    static QByteArray field(const QByteArray& name, const QString& value) {
        return QUrl::toPercentEncoding(QString::fromLatin1(name)) + '=' +
               QUrl::toPercentEncoding(value);
    }

    QTemporaryDir dir_;
    QStringList extra_;
    int port_ = 0;
    QProcess process_;
};
