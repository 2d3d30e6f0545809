#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

namespace toolkit {

// What reading a small file gave: its bytes, or why they were not read.
struct FileRead {
    enum class Outcome { Read, Missing, Folder, NotRegular, TooLarge, Failed };

    Outcome outcome = Outcome::Failed;
    QByteArray bytes; // when read
    int err = 0;      // the errno of the failing call: ENOENT when missing, EISDIR for a folder
    std::uint32_t mode = 0; // the file's type and permission bits, when read
    qint64 limit = 0;       // the most bytes that were allowed

    bool ok() const { return outcome == Outcome::Read; }
    // Why it was not read, in Portuguese, to follow "<file> não pôde ser lido: ": "não existe",
    // "não é um arquivo comum", "é grande demais (mais de 64 KiB)", "acesso negado".
    QString reason() const;
};

// Reads a regular file of at most maxBytes without ever waiting: a FIFO, a device, a socket or
// a folder is refused without reading from it (and a FIFO or a device is never opened, so no
// terminal or pipe notices), and a larger file is refused before its contents are read.
FileRead readRegularFile(const QString& path, qint64 maxBytes);

// The first line of a password file that only its owner may read, into `password`; or, when
// there is none, why, in Portuguese and without a final full stop ("o arquivo de senha … pode
// ser lido por outros usuários; …").
QString readPasswordFile(const QString& path, qint64 maxBytes, QString& password);

// "64 KiB", "1 MiB", "300 bytes".
QString sizeText(qint64 bytes);

} // namespace toolkit
