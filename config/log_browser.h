#pragma once

#include <QString>
#include <QStringList>

namespace config {

// Adds to `names` the name of every entry of `folder` that is not a folder itself, in the
// order the directory gives them. A folder that cannot be read adds nothing.
void ListFiles(const QString& folder, QStringList& names);

} // namespace config
