#include "toolkit/regular_file.h"

#include "toolkit/os_files.h"

#include <algorithm>
#include <cerrno>
#include <optional>

namespace toolkit {

namespace {

using Outcome = FileRead::Outcome;

FileRead refused(Outcome outcome, int err, qint64 limit) {
    FileRead result;
    result.outcome = outcome;
    result.err = err;
    result.limit = limit;
    return result;
}

FileRead failedWith(int err, qint64 limit) {
    return refused(err == ENOENT ? Outcome::Missing : Outcome::Failed, err, limit);
}

// Nothing, or why a file of this kind and size is not read.
std::optional<FileRead> refusal(const os::Stat& info, qint64 limit) {
    if (S_ISDIR(info.st_mode))
        return refused(Outcome::Folder, EISDIR, limit);
    if (!S_ISREG(info.st_mode))
        return refused(Outcome::NotRegular, 0, limit);
    if (info.st_size > limit)
        return refused(Outcome::TooLarge, 0, limit);
    return std::nullopt;
}

} // namespace

QString FileRead::reason() const {
    switch (outcome) {
    case Outcome::Read:
        return {};
    case Outcome::Missing:
        return QStringLiteral("não existe");
    case Outcome::Folder:
        return QStringLiteral("é uma pasta");
    case Outcome::NotRegular:
        return QStringLiteral("não é um arquivo comum");
    case Outcome::TooLarge:
        return QStringLiteral("é grande demais (mais de %1)").arg(sizeText(limit));
    case Outcome::Failed:
        break;
    }
    if (err == EACCES || err == EPERM)
        return QStringLiteral("acesso negado");
    return QStringLiteral("erro %1 do sistema").arg(err);
}

FileRead readRegularFile(const QString& path, qint64 maxBytes) {
    const QByteArray name = path.toUtf8();
    if (name.isEmpty() || name.contains('\0'))
        return refused(Outcome::Missing, ENOENT, maxBytes);
    // A look before opening: a FIFO or a device is not even opened (opening a terminal may
    // change its lines, opening a FIFO may wait for a writer).
    os::Stat info{};
    if (os::stat(name.constData(), &info) != 0)
        return failedWith(errno, maxBytes);
    if (auto refusedFile = refusal(info, maxBytes))
        return *refusedFile;
    // Whatever took its place meanwhile cannot make the open wait either.
    const int fd =
        os::open(name.constData(), O_RDONLY | os::kNonBlock | os::kNoTerminal | os::kCloseOnExec);
    if (fd < 0)
        return failedWith(errno, maxBytes);
    FileRead result;
    if (os::fstat(fd, &info) != 0) {
        result = failedWith(errno, maxBytes);
    } else if (auto refusedFile = refusal(info, maxBytes)) {
        result = *refusedFile;
    } else {
        result.outcome = Outcome::Read;
        result.mode = info.st_mode;
        result.limit = maxBytes;
        // One byte past the limit tells a file that grew, or whose size the system does not
        // know (as in /proc), from one that fits.
        result.bytes.resize(qsizetype(std::min<qint64>(maxBytes + 1, info.st_size + 1)));
        qint64 done = 0;
        for (;;) {
            if (done == result.bytes.size()) {
                if (done > maxBytes)
                    break;
                result.bytes.resize(qsizetype(std::min<qint64>(maxBytes + 1, done * 2 + 4096)));
            }
            const ssize_t count = os::read(fd, result.bytes.data() + done,
                                           static_cast<size_t>(result.bytes.size() - done));
            if (count == 0)
                break;
            if (count < 0) {
                if (errno == EINTR)
                    continue;
                result = failedWith(errno, maxBytes);
                break;
            }
            done += count;
        }
        if (result.ok()) {
            result.bytes.truncate(qsizetype(done));
            if (done > maxBytes)
                result = refused(Outcome::TooLarge, 0, maxBytes);
        }
    }
    os::close(fd);
    return result;
}

QString sizeText(qint64 bytes) {
    constexpr qint64 kKiB = 1024;
    constexpr qint64 kMiB = 1024 * kKiB;
    if (bytes >= kMiB && bytes % kMiB == 0)
        return QStringLiteral("%1 MiB").arg(bytes / kMiB);
    if (bytes >= kKiB && bytes % kKiB == 0)
        return QStringLiteral("%1 KiB").arg(bytes / kKiB);
    return QStringLiteral("%1 bytes").arg(bytes);
}

QString readPasswordFile(const QString& path, qint64 maxBytes, QString& password) {
    const FileRead secret = readRegularFile(path, maxBytes);
    if (secret.outcome == FileRead::Outcome::Missing)
        return QStringLiteral("o arquivo de senha %1 não existe").arg(path);
    if (!secret.ok())
        return QStringLiteral("o arquivo de senha %1 não pôde ser lido: %2")
            .arg(path, secret.reason());
    if (secret.mode & (S_IRWXG | S_IRWXO))
        return QStringLiteral("o arquivo de senha %1 pode ser lido por outros usuários; deixe-o "
                              "só para o dono (chmod 600 %1)")
            .arg(path);
    password = QString::fromUtf8(secret.bytes).section(u'\n', 0, 0).remove(u'\r');
    return {};
}

} // namespace toolkit
