#pragma once

#include <QString>

namespace logs {

// At start: create the log folder under the Documents folder and prune old log files.
void prepareLogFolder(const QString& documentsFolder);

} // namespace logs
