#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>

namespace site {

// What a GET brought back.
struct HttpReply {
    enum class Failure { None, Refused, HostNotFound, TimedOut, Tls, Other };
    Failure failure = Failure::None;
    int status = 0;      // the HTTP status; 0 when no answer came
    QString failureText; // the network library's own words for the failure, in English
    QByteArray body;
};

// GET requests over HTTP or HTTPS, answered on the window's thread; none waits.
class HttpGetter {
public:
    using Done = std::function<void(const HttpReply&)>;
    virtual ~HttpGetter() = default;
    // `authorization`, when given, is the Authorization header's value. `done` is called once,
    // from the event loop, unless the getter is deleted first.
    virtual void get(const QUrl& url, const QByteArray& authorization, Done done) = 0;
};

// A getter that trusts the PEM certificates of caPem (the system's when empty) and gives up on
// a transfer that stalls for timeoutMs. Qt Network is loaded with it, the first time one is
// made: the station program never carries it. nullptr when it cannot be loaded, with why.
std::unique_ptr<HttpGetter> newHttpGetter(const QByteArray& caPem, int timeoutMs, QString* why);

} // namespace site
