#include "logs/log_files.h"
#include "scratch_folder.h"
#include "toolkit/failure.h"

#include <cstdlib>
#include <optional>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

QByteArray readBytes(const QString& path) {
    std::FILE* file = std::fopen(path.toLocal8Bit().constData(), "rb");
    check(file != nullptr);
    QByteArray bytes;
    char buffer[4096];
    std::size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.append(buffer, static_cast<qsizetype>(count));
    std::fclose(file);
    return bytes;
}

// The form writeIndexFile gives a file: every line, LF included, closed by CR LF. Such a
// file comes back byte for byte; any other only line for line.
bool isWrittenForm(const QByteArray& bytes) {
    if (!bytes.isEmpty() && !bytes.endsWith("\r\n"))
        return false;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    }
    return true;
}

} // namespace

// Any bytes as a StatusLOG file. Read, written and read again, the lines are the same: no line
// holds an LF, and only one CR before each LF belongs to the line end, so a line that itself
// ends in CR keeps it. A file already in written form is rewritten byte for byte.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ScratchFolder& folder = ScratchFolder::instance();
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString path = folder.path("StatusLOG1.txt");
    ScratchFolder::write(path, bytes);

    // The file is there and readable, so reading it must not fail.
    const QStringList lines = logs::readIndexFile(path);
    check(bytes.isEmpty() == lines.isEmpty());
    check(lines.size() <= bytes.count('\n') + 1);
    for (const QString& line : lines)
        check(!line.contains(u'\n'));

    const QString again = folder.path("StatusLOG2.txt");
    logs::writeIndexFile(again, lines);
    check(logs::readIndexFile(again) == lines);
    const QByteArray written = readBytes(again);
    check(written.count("\r\n") >= lines.size());
    if (isWrittenForm(bytes))
        check(written == bytes);

    // A new log file appended to the list, as the log step does, is its last line.
    QStringList appended = lines;
    appended.append(
        QStringLiteral("/home/op/Documents/log_zareraziru/07-12-2026 ANEMÔMETRO 1.txt"));
    logs::writeIndexFile(again, appended);
    check(logs::readIndexFile(again) == appended);
    return 0;
}
