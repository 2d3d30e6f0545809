#pragma once

#include <QString>

namespace toolkit {

// The user's Documents folder without a trailing separator, or the failure
// "Não foi possível obter o local dos  Meus Documentos." when there is none.
QString documentsFolder();

// The failure's text, and Qt's answer as documentsFolder() gives it (the failure when empty),
// for the system's own documentsFolder().
QString documentsFailure();
QString documentsAsked(const QString& failure);

} // namespace toolkit
