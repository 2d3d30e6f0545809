#pragma once

#include <QByteArray>
#include <QString>

namespace toolkit {

// The station's text files are Windows-1252 single-byte text, as the Windows program writes
// them, so that files carry over between the two. A character it cannot hold becomes '?'.
QString fromCp1252(const QByteArray& bytes);
QByteArray toCp1252(const QString& text);

} // namespace toolkit
