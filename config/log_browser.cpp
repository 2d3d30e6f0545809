#include "config/log_browser.h"

#include <QFile>

#include <dirent.h>
#include <sys/stat.h>

namespace config {

void ListFiles(const QString& folder, QStringList& names) {
    const QByteArray native = QFile::encodeName(folder);
    DIR* dir = ::opendir(native.constData());
    if (!dir)
        return;
    // readdir's own order, as the original directory search returned it; no sorting.
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray path = native + (native.endsWith('/') ? "" : "/") + entry->d_name;
        struct stat info {};
        if (::stat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        if (qstrcmp(entry->d_name, ".") == 0 || qstrcmp(entry->d_name, "..") == 0)
            continue;
        names.append(QFile::decodeName(entry->d_name));
    }
    ::closedir(dir);
}

} // namespace config
