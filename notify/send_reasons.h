#pragma once

#include <QByteArray>
#include <QString>

namespace notify {

// What a try of one message came to: the server's answer when it went through, else the
// reason in one Portuguese sentence that says what to change.
struct Outcome {
    bool ok = false;
    QString text;
};

// What a mail server said last in a conversation that failed: the command it answered ("RCPT
// TO:<ana@example.com>"; never a line of a login) and its reply ("550 5.1.1 unknown user").
struct MailTrace {
    QString lastCommand;
    QString lastReply;
    QString curlError; // libcurl's own words
};

// Why a message did not reach the mail server `server` ("smtp.example.com:587"), from
// libcurl's result code and the conversation's end; `recipientsKey` names the setting that
// gave the recipients (email_para or escalar_para).
QString mailFailure(const QString& server, int curlCode, const MailTrace& trace, int timeoutMs,
                    const QString& recipientsKey);

// Why a webhook did not take a notification: libcurl's result code, or the HTTP status line
// ("HTTP/1.1 401 Unauthorized") and the start of the body the server answered with.
QString httpFailure(const QString& urlShown, int curlCode, const QString& curlError, long status,
                    const QString& statusLine, const QByteArray& body, int timeoutMs);

// A server's text made fit for one line of the journal: control characters as blanks, at most
// 200 characters.
QString oneLine(const QByteArray& text);

} // namespace notify
