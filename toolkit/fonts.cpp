#include "toolkit/fonts.h"

namespace toolkit {

namespace {

QFont sansSerif(const QString& family, int pixelSize, bool bold) {
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    return font;
}

} // namespace

QFont msSansSerif(int pixelSize, bool bold) {
    return sansSerif(QStringLiteral("MS Sans Serif"), pixelSize, bold);
}

QFont arial(int pixelSize, bool bold) {
    return sansSerif(QStringLiteral("Arial"), pixelSize, bold);
}

} // namespace toolkit
