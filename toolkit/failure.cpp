#include "toolkit/failure.h"

#include <cerrno>
#include <limits>

namespace toolkit {

Failure::Failure(QString text) : text_(std::move(text)), utf8_(text_.toUtf8()) {}

int StrToInt(const QString& text) {
    const auto fail = [&text] {
        return Failure(QStringLiteral("'%1' is not a valid integer value").arg(text));
    };
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        negative = text[i] == u'-';
        ++i;
    }
    if (i == n)
        throw fail();
    // Accumulate towards the negative side so that -2147483648 fits.
    long long value = 0;
    for (; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            throw fail();
        value = value * 10 + (c - u'0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            throw fail();
    }
    if (negative)
        return static_cast<int>(-value);
    if (value > std::numeric_limits<int>::max())
        throw fail();
    return static_cast<int>(value);
}

QString fileErrorText(int err) {
    switch (err) {
    case ENOENT:
        return QStringLiteral("File not found");
    case EACCES:
    case EPERM:
    case EROFS:
        return QStringLiteral("File access denied");
    default:
        return QStringLiteral("I/O error %1").arg(err);
    }
}

void raiseFileError(int err) {
    throw Failure(fileErrorText(err));
}

} // namespace toolkit
