#pragma once

#include <QByteArray>
#include <QString>

namespace toolkit {

// Gives a file new contents so that it holds either the old or the new ones, whatever fails
// half-way (a full disk, a read-only file system, a crash): the new contents go to a temporary
// file beside it, which then takes its place with the old file's mode and, where the process
// may, its owner and group. A link stays a link: the file it points to is replaced. A missing
// file is created with mode 0666 less the umask. In a folder that takes no new files, an
// existing file is rewritten in place instead, with its space reserved before the old contents
// are touched. A failure throws Failure with the file error text of its errno.
void replaceFileContents(const QString& path, const QByteArray& bytes);

} // namespace toolkit
