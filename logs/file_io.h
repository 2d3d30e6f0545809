#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// Thin POSIX file access for the log files: every failure carries the errno of the call that
// failed, which is what the standard error report words ("File not found", "I/O error 21").
namespace logs::io {

// The whole file, or nothing when it does not exist; any other failure throws, and so does a
// FIFO or a device ("File access denied"), without waiting, and a file past 256 MiB.
std::optional<QByteArray> readFileIfPresent(const QString& path);

// Creates the folder and any missing parents; a non-folder in the way fails with ENOTDIR.
void makePath(const QString& folder);

// The folder with every symbolic link, "." and ".." resolved, as the file system names it.
QByteArray canonicalFolder(const QString& folder);

// Deletes a regular file (not a link) only when its resolved folder is ownFolder.
bool removeFileInFolder(const QString& path, const QByteArray& ownFolder);

// A file opened for appending, created empty when missing. The folder is never created.
class AppendFile {
public:
    explicit AppendFile(const QString& path);
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    bool created() const { return created_; }
    // True when the file holds no byte yet: made here, or left empty by an earlier failure.
    bool empty() const;

    // One write() of all bytes; a short write is cut back so no half line stays in the file.
    void append(const QByteArray& bytes);
    void close();

private:
    int fd_ = -1;
    bool created_ = false;
};

} // namespace logs::io
