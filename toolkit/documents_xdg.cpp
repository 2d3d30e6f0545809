#include "toolkit/documents.h"

#include "toolkit/failure.h"
#include "toolkit/os_files.h"

#include <QStandardPaths>

#include <mutex>
#include <optional>

namespace toolkit {

namespace {

// What Qt's answer depends on: the home and configuration folders named by the environment,
// and the user-dirs.dirs file it reads there (which, when, how big).
struct Asked {
    QByteArray home;
    QByteArray configHome;
    bool fileThere = false;
    quint64 device = 0;
    quint64 inode = 0;
    qint64 size = 0;
    long long modifiedNs = 0;

    bool operator==(const Asked&) const = default;
};

Asked asked() {
    Asked now{qgetenv("HOME"), qgetenv("XDG_CONFIG_HOME")};
    const QByteArray configFolder =
        now.configHome.startsWith('/') ? now.configHome : now.home + "/.config";
    os::Stat info{};
    if (os::stat((configFolder + "/user-dirs.dirs").constData(), &info) == 0) {
        now.fileThere = true;
        now.device = info.st_dev;
        now.inode = info.st_ino;
        now.size = info.st_size;
        now.modifiedNs = os::modifiedNs(info);
    }
    return now;
}

} // namespace

QString documentsFolder() {
    const QString failure = documentsFailure();
    // Without a home there is no Documents folder, even if Qt would still name one under "/".
    if (qEnvironmentVariableIsEmpty("HOME"))
        throw Failure(failure);
    if (QStandardPaths::isTestModeEnabled())
        return documentsAsked(failure);
    // Qt reads and parses user-dirs.dirs at every question, and the logs ask at every reading:
    // its answer is kept for as long as what it depends on stays the same.
    static std::mutex guard;
    static std::optional<std::pair<Asked, QString>> kept;
    Asked now = asked();
    const std::lock_guard lock(guard);
    if (!kept || kept->first != now)
        kept.emplace(std::move(now), documentsAsked(failure));
    return kept->second;
}

} // namespace toolkit
