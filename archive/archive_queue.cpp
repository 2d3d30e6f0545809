#include "archive/archive_queue.h"

#include "archive/line_protocol.h"

#include "toolkit/os_files.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace archive {

namespace {

QString fileName(quint64 serial) {
    return QStringLiteral("%1.lp").arg(serial, 16, 10, QLatin1Char('0'));
}

QString errnoText(int err) {
    return QString::fromLocal8Bit(std::strerror(err));
}

} // namespace

Queue::Queue(QString folder, qint64 mostBytes)
    : folder_(std::move(folder)), mostBytes_(mostBytes) {}

Queue::~Queue() {
    if (fd_ >= 0)
        os::close(fd_);
    if (noteFd_ >= 0)
        os::close(noteFd_);
}

QString Queue::open() {
    QDir dir(folder_);
    if (!dir.exists() && !QDir().mkpath(folder_))
        return error_ = QStringLiteral("a pasta %1 não pôde ser criada").arg(folder_);
    const QFileInfoList found =
        dir.entryInfoList({QStringLiteral("*.lp")}, QDir::Files | QDir::NoSymLinks, QDir::Name);
    for (const QFileInfo& info : found) {
        bool ok = false;
        const quint64 serial = info.completeBaseName().toULongLong(&ok);
        if (!ok || info.completeBaseName().size() != 16)
            continue;
        if (info.size() == 0) {
            QFile::remove(info.filePath());
            continue;
        }
        closed_.append({serial, info.filePath(), info.size()});
        nextSerial_ = std::max(nextSerial_, serial + 1);
    }
    const QString notePath = dir.filePath(QStringLiteral("enviado"));
    noteFd_ = os::open(notePath.toUtf8().constData(), O_RDWR | O_CREAT | os::kCloseOnExec, 0600);
    if (noteFd_ < 0)
        return error_ = QStringLiteral("o arquivo %1 da fila não pôde ser criado: %2")
                            .arg(notePath, errnoText(errno));
    char text[64] = {};
    if (os::pread(noteFd_, text, sizeof text - 1, 0) > 0) {
        const QList<QByteArray> words = QByteArray(text).simplified().split(' ');
        for (Segment& segment : closed_) {
            if (words.size() == 2 && segment.serial == words[0].toULongLong())
                segment.sent = std::clamp(words[1].toLongLong(), qint64(0), segment.bytes);
        }
    }
    std::lock_guard lock(mutex_);
    fd_ = openSegment(nextSerial_++);
    return fd_ < 0 ? error_ : QString();
}

void Queue::note(quint64 serial, qint64 sent) {
    // Fixed width: each note covers the one before it whole.
    const QByteArray text = QByteArray::number(serial).rightJustified(20, '0') + ' ' +
                            QByteArray::number(sent).rightJustified(20, '0') + '\n';
    if (noteFd_ >= 0)
        (void)!os::pwrite(noteFd_, text.constData(), size_t(text.size()), 0);
}

QByteArray Queue::openUnsent(qint64& upTo) const {
    upTo = openBytes();
    if (upTo <= open_.sent)
        return {};
    QByteArray bytes(upTo - open_.sent, Qt::Uninitialized);
    // The open file's own descriptor: only the sending thread ever closes it.
    const ssize_t read = os::pread(fd_, bytes.data(), size_t(bytes.size()), open_.sent);
    if (read != bytes.size()) {
        upTo = open_.sent;
        return {};
    }
    return bytes;
}

void Queue::openAccepted(qint64 upTo) {
    open_.sent = upTo;
    note(open_.serial, upTo);
}

int Queue::openSegment(quint64 serial) {
    const QString path = QDir(folder_).filePath(fileName(serial));
    const int fd =
        os::open(path.toUtf8().constData(), O_RDWR | O_CREAT | O_APPEND | os::kCloseOnExec, 0600);
    if (fd < 0) {
        error_ = QStringLiteral("o arquivo %1 da fila não pôde ser criado: %2")
                     .arg(path, errnoText(errno));
        return -1;
    }
    open_ = {serial, path, 0};
    return fd;
}

bool Queue::append(const QByteArray& lines) {
    std::lock_guard lock(mutex_);
    if (fd_ >= 0) {
        const ssize_t written = os::write(fd_, lines.constData(), size_t(lines.size()));
        if (written == lines.size()) {
            open_.bytes += written;
            return true;
        }
        // A line cut short would join the next: the file ends here.
        if (written > 0)
            open_.bytes += written + (os::write(fd_, "\n", 1) == 1 ? 1 : 0);
    }
    lost_ += lines.count('\n');
    return false;
}

void Queue::sync() {
    int fd;
    {
        std::lock_guard lock(mutex_);
        fd = fd_ >= 0 ? os::dup(fd_) : -1;
    }
    if (fd < 0)
        return;
    os::fdatasync(fd);
    os::close(fd);
}

qint64 Queue::openBytes() const {
    std::lock_guard lock(mutex_);
    return open_.bytes;
}

void Queue::rotate(bool durable) {
    int old;
    Segment closing;
    {
        std::lock_guard lock(mutex_);
        if (open_.bytes == 0 && fd_ >= 0)
            return;
        // A line written from here on goes into the next file.
        closing = open_;
        const int next = openSegment(nextSerial_++);
        if (next < 0) {
            open_ = closing;
            if (fd_ >= 0)
                return; // the open one takes the lines on
        }
        old = std::exchange(fd_, next);
    }
    if (old < 0)
        return;
    if (durable)
        os::fdatasync(old);
    os::close(old);
    if (durable)
        syncFolder();
    if (closing.bytes > closing.sent)
        closed_.append(closing);
    else
        QFile::remove(closing.path);
}

std::optional<Queue::Segment> Queue::oldest() const {
    if (closed_.isEmpty())
        return std::nullopt;
    return closed_.constFirst();
}

QByteArray Queue::contents(const Segment& segment) const {
    QFile file(segment.path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    file.seek(segment.sent);
    QByteArray bytes = file.readAll();
    bytes.truncate(bytes.lastIndexOf('\n') + 1);
    if (!bytes.contains('\0'))
        return bytes;
    QByteArray kept;
    for (const QByteArray& line : bytes.split('\n')) {
        if (!line.isEmpty() && !line.contains('\0'))
            kept += line + '\n';
    }
    return kept;
}

void Queue::remove(const Segment& segment, bool durable) {
    QFile::remove(segment.path);
    if (durable)
        syncFolder();
    closed_.removeIf([&segment](const Segment& s) { return s.serial == segment.serial; });
}

QList<Queue::Dropped> Queue::dropOverLimit() {
    QList<Dropped> dropped;
    while (!closed_.isEmpty() && bytes() > mostBytes_) {
        const Segment oldest = closed_.constFirst();
        const QByteArray lines = contents(oldest);
        const qsizetype firstEnd = lines.indexOf('\n');
        const qsizetype lastStart = lines.lastIndexOf('\n', lines.size() - 2) + 1;
        dropped.append(
            {oldest.bytes - oldest.sent,
             lineTimeMs(QByteArrayView(lines).first(std::max<qsizetype>(firstEnd, 0))).value_or(0),
             lineTimeMs(QByteArrayView(lines).sliced(lastStart)).value_or(0)});
        remove(oldest, true);
    }
    return dropped;
}

qint64 Queue::bytes() const {
    qint64 total = openBytes() - open_.sent;
    for (const Segment& segment : closed_)
        total += segment.bytes - segment.sent;
    return total;
}

int Queue::files() const {
    return int(closed_.size()) + (openBytes() > open_.sent ? 1 : 0);
}

QString Queue::lastError() const {
    std::lock_guard lock(mutex_);
    return error_;
}

void Queue::syncFolder() const {
    os::syncFolder(folder_.toUtf8().constData());
}

} // namespace archive
