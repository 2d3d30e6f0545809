#include "resources/logo/logo.h"

#include <QFile>

namespace logo {

QByteArray jpegBytes() {
    QFile file(QString::fromLatin1(kLogoJpeg));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace logo
