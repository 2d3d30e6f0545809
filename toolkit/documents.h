#pragma once

#include <QString>

namespace toolkit {

// The user's Documents folder without a trailing separator, or the failure
// "Não foi possível obter o local dos  Meus Documentos." when there is none.
QString documentsFolder();

} // namespace toolkit
