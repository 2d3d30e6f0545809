#include "resources/sounds.h"

#include <QString>

namespace sounds {

QUrl url(const char* resourcePath) {
    return QUrl(QStringLiteral("qrc") + QString::fromLatin1(resourcePath));
}

} // namespace sounds
