#include "resources/sounds.h"

#include <QFile>
#include <QString>

namespace sounds {

QByteArray bytes(const char* resourcePath) {
    QFile file(QString::fromLatin1(resourcePath));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace sounds
