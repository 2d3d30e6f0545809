#include "notify/transfer.h"

#include "notify/curl_library.h"

#include <QUrl>

#include <algorithm>
#include <cstring>
#include <memory>

namespace notify {

namespace {

constexpr qsizetype kMostBodyBytes = 4096;
constexpr int kMostConnectMs = 10'000;

// The commands of an SMTP conversation worth naming in a reason. Anything else the client
// sends (the lines of an AUTH LOGIN carry the user name and the password) is never kept.
const char* const kSmtpVerbs[] = {"EHLO", "HELO", "STARTTLS", "AUTH",
                                  "MAIL", "RCPT", "DATA",     "RSET"};

// What one transfer keeps while it runs; libcurl's callbacks reach it through their userdata.
struct Conversation {
    const CurlApi* api = nullptr;
    const std::atomic<bool>* stop = nullptr;
    QByteArray upload;
    qsizetype uploaded = 0;
    QByteArray body;
    QString statusLine;
    MailTrace trace;
    bool quitting = false; // the goodbye after a failure says nothing about it
    char error[CURL_ERROR_SIZE] = {};
};

size_t readUpload(char* into, size_t size, size_t count, void* userdata) {
    auto* c = static_cast<Conversation*>(userdata);
    const qsizetype n =
        std::min<qsizetype>(qsizetype(size * count), c->upload.size() - c->uploaded);
    std::memcpy(into, c->upload.constData() + c->uploaded, size_t(n));
    c->uploaded += n;
    return size_t(n);
}

size_t keepBody(char* data, size_t size, size_t count, void* userdata) {
    auto* c = static_cast<Conversation*>(userdata);
    const size_t n = size * count;
    if (c->body.size() < kMostBodyBytes)
        c->body.append(data,
                       qsizetype(std::min<size_t>(n, size_t(kMostBodyBytes - c->body.size()))));
    return n;
}

size_t keepHeader(char* data, size_t size, size_t count, void* userdata) {
    auto* c = static_cast<Conversation*>(userdata);
    const size_t n = size * count;
    const QByteArray line = QByteArray(data, qsizetype(n)).trimmed();
    // The status line of the last response (after a "100 Continue", the real one).
    if (line.startsWith("HTTP/")) {
        c->statusLine = oneLine(line);
        c->body.clear();
    }
    return n;
}

int watchStop(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* c = static_cast<Conversation*>(userdata);
    return c->stop && c->stop->load() ? 1 : 0;
}

// The server's replies and the client's commands of an SMTP conversation, as libcurl traces them.
int traceSmtp(CURL*, curl_infotype type, char* data, size_t size, void* userdata) {
    auto* c = static_cast<Conversation*>(userdata);
    const QByteArray text = QByteArray(data, qsizetype(size)).trimmed();
    if (c->quitting)
        return 0;
    if (type == CURLINFO_HEADER_IN) {
        // A multi-line reply's last line carries its code with a blank: "250 OK".
        const QList<QByteArray> lines = text.split('\n');
        c->trace.lastReply = oneLine(lines.constLast());
    } else if (type == CURLINFO_HEADER_OUT) {
        const qsizetype space = text.indexOf(' ');
        const QByteArray verb = (space < 0 ? text : text.left(space)).toUpper();
        if (verb == "QUIT") {
            c->quitting = true;
            return 0;
        }
        const bool known = std::any_of(std::begin(kSmtpVerbs), std::end(kSmtpVerbs),
                                       [&verb](const char* v) { return verb == v; });
        if (!known)
            return 0;
        // AUTH PLAIN carries the password after the mechanism: only the verb is kept.
        c->trace.lastCommand =
            verb == "MAIL" || verb == "RCPT" ? oneLine(text) : QString::fromLatin1(verb);
        c->trace.lastReply.clear();
    }
    return 0;
}

using Handle = std::unique_ptr<CURL, void (*)(CURL*)>;

struct Session {
    Conversation conversation;
    Handle handle{nullptr, [](CURL*) {}};
    curl_slist* list = nullptr;

    ~Session() {
        if (list)
            conversation.api->slistFreeAll(list);
    }
};

// A handle with what every transfer shares: the limits, no signals (threads), the error text.
bool begin(Session& s, const TryLimits& limits, QString& why) {
    const CurlApi* api = loadCurl(&why);
    if (!api)
        return false;
    s.conversation.api = api;
    s.conversation.stop = limits.stop;
    CURL* curl = api->easyInit();
    if (!curl) {
        why = QStringLiteral("a biblioteca libcurl não pôde começar um envio (falta memória?).");
        return false;
    }
    s.handle = Handle(curl, api->easyCleanup);
    const auto set = api->easySetopt;
    set(curl, CURLOPT_NOSIGNAL, 1L);
    set(curl, CURLOPT_ERRORBUFFER, s.conversation.error);
    set(curl, CURLOPT_TIMEOUT_MS, long(limits.timeoutMs));
    set(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(limits.timeoutMs, kMostConnectMs)));
    set(curl, CURLOPT_NOPROGRESS, 0L);
    set(curl, CURLOPT_XFERINFOFUNCTION, &watchStop);
    set(curl, CURLOPT_XFERINFODATA, &s.conversation);
    return true;
}

QString curlError(const Session& s, CURLcode code) {
    const QString buffer = QString::fromUtf8(s.conversation.error).trimmed();
    return buffer.isEmpty() ? QString::fromUtf8(s.conversation.api->easyStrerror(code)) : buffer;
}

} // namespace

QString serverText(const MailSettings& mail) {
    const QString host = mail.host.contains(u':') ? u'[' + mail.host + u']' : mail.host;
    return QStringLiteral("%1:%2").arg(host).arg(mail.port);
}

Outcome sendMail(const MailJob& job, const TryLimits& limits) {
    Session s;
    QString why;
    if (!begin(s, limits, why))
        return {false, why};
    CURL* curl = s.handle.get();
    const auto set = s.conversation.api->easySetopt;
    const MailSettings& mail = job.server;
    const QByteArray url =
        (mail.security == Security::Tls ? "smtps://" : "smtp://") + serverText(mail).toUtf8();
    set(curl, CURLOPT_URL, url.constData());
    set(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    set(curl, CURLOPT_USE_SSL,
        long(mail.security == Security::None ? CURLUSESSL_NONE : CURLUSESSL_ALL));
    const QByteArray user = mail.user.toUtf8();
    const QByteArray password = mail.password.toUtf8();
    if (!mail.user.isEmpty()) {
        set(curl, CURLOPT_USERNAME, user.constData());
        set(curl, CURLOPT_PASSWORD, password.constData());
    }
    const QByteArray ca = mail.tlsCa.toLocal8Bit();
    if (!ca.isEmpty())
        set(curl, CURLOPT_CAINFO, ca.constData());
    const QByteArray from = '<' + mail.from.toUtf8() + '>';
    set(curl, CURLOPT_MAIL_FROM, from.constData());
    for (const QString& to : job.to)
        s.list = s.conversation.api->slistAppend(s.list, ('<' + to.toUtf8() + '>').constData());
    set(curl, CURLOPT_MAIL_RCPT, s.list);
    s.conversation.upload = job.message;
    set(curl, CURLOPT_UPLOAD, 1L);
    set(curl, CURLOPT_READFUNCTION, &readUpload);
    set(curl, CURLOPT_READDATA, &s.conversation);
    set(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(job.message.size()));
    set(curl, CURLOPT_VERBOSE, 1L);
    set(curl, CURLOPT_DEBUGFUNCTION, &traceSmtp);
    set(curl, CURLOPT_DEBUGDATA, &s.conversation);

    const CURLcode code = s.conversation.api->easyPerform(curl);
    MailTrace trace = s.conversation.trace;
    if (code == CURLE_OK)
        return {true, trace.lastReply.isEmpty() ? QStringLiteral("aceita") : trace.lastReply};
    trace.curlError = curlError(s, code);
    return {false, mailFailure(serverText(mail), code, trace, limits.timeoutMs, job.recipientsKey)};
}

Outcome postHttp(const HttpJob& job, const TryLimits& limits) {
    Session s;
    QString why;
    if (!begin(s, limits, why))
        return {false, why};
    CURL* curl = s.handle.get();
    const auto set = s.conversation.api->easySetopt;
    const QByteArray url = job.url.toUtf8();
    set(curl, CURLOPT_URL, url.constData());
    set(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    set(curl, CURLOPT_POST, 1L);
    set(curl, CURLOPT_POSTFIELDS, job.request.body.constData());
    set(curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(job.request.body.size()));
    for (const auto& [name, value] : job.request.headers)
        s.list = s.conversation.api->slistAppend(s.list, (name + ": " + value).constData());
    // Without it a larger body waits a second for a "100 Continue" some servers never send.
    s.list = s.conversation.api->slistAppend(s.list, "Expect:");
    set(curl, CURLOPT_HTTPHEADER, s.list);
    set(curl, CURLOPT_USERAGENT, versionText().toUtf8().constData());
    set(curl, CURLOPT_WRITEFUNCTION, &keepBody);
    set(curl, CURLOPT_WRITEDATA, &s.conversation);
    set(curl, CURLOPT_HEADERFUNCTION, &keepHeader);
    set(curl, CURLOPT_HEADERDATA, &s.conversation);

    const CURLcode code = s.conversation.api->easyPerform(curl);
    long status = 0;
    s.conversation.api->easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    const QString shown = urlShown(job.url);
    if (code == CURLE_OK && status >= 200 && status < 300)
        return {true, s.conversation.statusLine.isEmpty() ? QString::number(status)
                                                          : s.conversation.statusLine};
    return {false,
            httpFailure(shown, code, code == CURLE_OK ? QString() : curlError(s, code), status,
                        s.conversation.statusLine, s.conversation.body, limits.timeoutMs)};
}

} // namespace notify
