#pragma once

#include <QString>

class QWidget;

namespace toolkit {

// What an "Exportar" asks of the user: where to write, proposing `proposedName` (a file name
// with its extension) in the home folder. A name typed without an extension gets `extension`
// ("csv", "png"). Empty when the user cancelled.
QString askSavePath(QWidget* parent, const QString& caption, const QString& proposedName,
                    const QString& filter, const QString& extension);

// `path` with ".extension" added when its file name has no extension of its own.
QString withExtension(const QString& path, const QString& extension);

} // namespace toolkit
