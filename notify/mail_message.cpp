#include "notify/mail_message.h"

#include <QCryptographicHash>
#include <QDateTime>

namespace notify {

namespace {

// 45 bytes make 60 base64 characters: with "=?UTF-8?B?" and "?=" a word stays within 75.
constexpr qsizetype kMostWordBytes = 45;
constexpr qsizetype kBodyLineChars = 76;

bool plainAscii(const QString& text) {
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() >= 0x7f)
            return false;
    }
    return true;
}

QString withoutControls(const QString& text) {
    QString clean = text;
    for (QChar& c : clean) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return clean;
}

// The domain of an address, for the Message-ID: "example.com" of "alarmes@example.com".
QByteArray domainOf(const QString& address) {
    const QString domain = address.section(u'@', -1).trimmed();
    return domain.isEmpty() || domain == address ? QByteArray("anemometros") : domain.toUtf8();
}

} // namespace

QByteArray encodedHeaderText(const QString& text, const QByteArray& separator) {
    const QString clean = withoutControls(text);
    if (plainAscii(clean))
        return clean.toUtf8();
    QList<QByteArray> words;
    QByteArray chunk;
    // Whole characters only: a word never ends inside a UTF-8 sequence.
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const qsizetype length = clean.at(i).isHighSurrogate() && i + 1 < clean.size() ? 2 : 1;
        const QByteArray bytes = clean.mid(i, length).toUtf8();
        i += length - 1;
        if (chunk.size() + bytes.size() > kMostWordBytes) {
            words << chunk;
            chunk.clear();
        }
        chunk += bytes;
    }
    if (!chunk.isEmpty())
        words << chunk;
    QByteArray encoded;
    for (const QByteArray& word : words) {
        if (!encoded.isEmpty())
            encoded += separator;
        encoded += "=?UTF-8?B?" + word.toBase64() + "?=";
    }
    return encoded;
}

QByteArray messageId(const Notice& notice, const QString& from) {
    const QByteArray hash =
        QCryptographicHash::hash(notice.id.toUtf8(), QCryptographicHash::Sha256).toHex().left(32);
    return '<' + hash + ".anemometros@" + domainOf(from) + '>';
}

QByteArray mailMessage(const Notice& notice, const QString& from, const QStringList& to) {
    const QDateTime date = QDateTime::fromMSecsSinceEpoch(notice.atMs);
    QByteArray message;
    message += "Date: " + date.toString(Qt::RFC2822Date).toLatin1() + "\r\n";
    message += "From: " + from.toUtf8() + "\r\n";
    message += "To: " + to.join(QStringLiteral(", ")).toUtf8() + "\r\n";
    message += "Subject: " + encodedHeaderText(subjectText(notice), "\r\n ") + "\r\n";
    message += "Message-ID: " + messageId(notice, from) + "\r\n";
    message += "MIME-Version: 1.0\r\n";
    message += "Content-Type: text/plain; charset=UTF-8\r\n";
    message += "Content-Transfer-Encoding: base64\r\n";
    message += "\r\n";
    QString body = bodyText(notice);
    body.replace(u'\n', QStringLiteral("\r\n"));
    const QByteArray base64 = body.toUtf8().toBase64();
    for (qsizetype at = 0; at < base64.size(); at += kBodyLineChars)
        message += base64.mid(at, kBodyLineChars) + "\r\n";
    return message;
}

} // namespace notify
