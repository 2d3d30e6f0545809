#include "toolkit/documents.h"

#include "toolkit/failure.h"

#include <QStandardPaths>

namespace toolkit {

QString documentsFailure() {
    return QStringLiteral("Não foi possível obter o local dos  Meus Documentos.");
}

QString documentsAsked(const QString& failure) {
    QString path = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (path.isEmpty())
        throw Failure(failure);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace toolkit
