#include "resources/pictures.h"

namespace pictures {

QString appIconPng(int size) {
    return QStringLiteral(":/icons/app-%1.png").arg(size);
}

QIcon applicationIcon() {
    QIcon icon;
    for (int size : kAppIconPngSizes)
        icon.addFile(appIconPng(size), QSize(size, size));
    return icon;
}

} // namespace pictures
