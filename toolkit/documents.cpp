#include "toolkit/documents.h"

#include "toolkit/failure.h"

#include <QStandardPaths>

namespace toolkit {

QString documentsFolder() {
    const QString failure = QStringLiteral("Não foi possível obter o local dos  Meus Documentos.");
    // Without a home there is no Documents folder, even if Qt would still name one under "/".
    if (qEnvironmentVariableIsEmpty("HOME"))
        throw Failure(failure);
    QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty())
        throw Failure(failure);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace toolkit
