#include "log_files.h"

namespace logs {

void prepareLogFolder(const QString& documentsFolder)
{
    Q_UNUSED(documentsFolder);
}

} // namespace logs
