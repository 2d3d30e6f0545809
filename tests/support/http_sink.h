#pragma once

// An HTTP server of the test's own on a loopback port: it keeps every request it gets (request
// line, headers, body) and answers each with the status and body the test sets, or never
// answers at all.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

class HttpSink : public QObject {
public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
    };

    HttpSink() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this,
                                 [this, socket] { read(socket); });
            }
        });
    }

    int port() const { return server_.serverPort(); }
    QByteArray url(const QByteArray& path = "/") const {
        return "http://127.0.0.1:" + QByteArray::number(port()) + path;
    }
    // "201 Created" and a body; an empty status: never answer.
    void answerWith(const QByteArray& status, const QByteArray& body = {}) {
        status_ = status;
        body_ = body;
    }
    const QList<Request>& requests() const { return requests_; }

private:
    void read(QTcpSocket* socket) {
        QByteArray& buffer = buffers_[socket];
        buffer += socket->readAll();
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                       lines[i].mid(colon + 1).trimmed());
        }
        const qsizetype length = request.headers.value("content-length").toLongLong();
        if (buffer.size() < end + 4 + length)
            return;
        request.body = buffer.mid(end + 4, length);
        buffer.clear();
        requests_.append(request);
        if (status_.isEmpty())
            return;
        socket->write("HTTP/1.1 " + status_ + "\r\nContent-Length: " +
                      QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
        socket->disconnectFromHost();
    }

    QTcpServer server_;
    QHash<QTcpSocket*, QByteArray> buffers_;
    QList<Request> requests_;
    QByteArray status_ = "200 OK";
    QByteArray body_;
};
