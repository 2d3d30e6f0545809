#pragma once

#include <QImage>
#include <QList>
#include <QString>

namespace icongen {

// Writes one .ico file holding every image given, each as a 32-bit DIB with its AND mask,
// the form every ICO reader accepts (Qt's writer stores only one size per file).
// Returns false when the file cannot be written.
bool writeIco(const QString& path, const QList<QImage>& images);

} // namespace icongen
