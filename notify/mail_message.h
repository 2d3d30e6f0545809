#pragma once

#include "notify/notice.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace notify {

// A header's text as RFC 2047 words where it is not plain ASCII ("=?UTF-8?B?...?="), each
// within a line's length, joined by `separator` ("\r\n " folds a mail header; a single space
// keeps an HTTP header on its line). Control characters become blanks, so that nothing in a
// station's name can start a header of its own.
QByteArray encodedHeaderText(const QString& text, const QByteArray& separator);

// "<3f2a…@example.com>": the same for every try of one alarm event, so that a mail client shows
// a message sent twice once; made of the notice's id and the sender's domain.
QByteArray messageId(const Notice& notice, const QString& from);

// The whole message as the SMTP server gets it: headers (Date of the event, From, To, Subject,
// Message-ID, MIME) and the body in UTF-8, base64, with CR LF line ends. `to` are the
// recipients in the To header.
QByteArray mailMessage(const Notice& notice, const QString& from, const QStringList& to);

} // namespace notify
