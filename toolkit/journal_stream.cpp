#include "toolkit/journal_stream.h"

#include <QList>

#include <sys/stat.h>
#include <unistd.h>

namespace toolkit {

bool isJournalStream(const QByteArray& journalStream, int fd) {
    const QList<QByteArray> parts = journalStream.split(':');
    if (parts.size() != 2)
        return false;
    bool deviceRead = false;
    bool inodeRead = false;
    const qulonglong device = parts[0].toULongLong(&deviceRead);
    const qulonglong inode = parts[1].toULongLong(&inodeRead);
    struct stat status {};
    if (!deviceRead || !inodeRead || ::fstat(fd, &status) != 0)
        return false;
    return status.st_dev == device && status.st_ino == inode;
}

QByteArray severityPrefix(Severity severity) {
    // Once: standard error does not change under the running program.
    static const bool journal = isJournalStream(qgetenv("JOURNAL_STREAM"), STDERR_FILENO);
    if (!journal)
        return {};
    return '<' + QByteArray::number(static_cast<int>(severity)) + '>';
}

} // namespace toolkit
