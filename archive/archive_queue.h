#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <mutex>
#include <optional>

namespace archive {

// The folder of the queue, in the station folder (the program's working directory).
inline const QString kQueueFolder = QStringLiteral("arquivo-fila");
// A waiting file is closed, to be sent whole, once it holds this much.
inline constexpr qint64 kSegmentBytes = 1024 * 1024;

// What the database has not yet accepted, on disk: append-only files "<serial>.lp" numbered in
// the order they were opened. Every line goes into the open file at once (a kill -9 loses none).
// The sending thread sends what the open file gained since its last batch, and writes in the
// file "enviado" how far the database has accepted it; a file is removed once it is closed (at
// 1 MiB) and accepted whole. So a line is sent again only if the program stops between the
// database's answer and that note. While the database is away, what waits is synced to the disk
// every second; while it takes every batch, nothing is (a flush a second would cost the station
// PC more than the archive may), so a power failure may take the last second or two, and may
// undo the note of the seconds before it. The files of an earlier run are read back as closed
// ones, oldest first, from where their note says.
class Queue {
public:
    struct Segment {
        quint64 serial = 0;
        QString path;
        qint64 bytes = 0;
        qint64 sent = 0; // what the database has accepted of it, from the start
    };
    // The lines of a file given up, oldest first: when they were read (0: unknown).
    struct Dropped {
        qint64 bytes = 0;
        qint64 firstMs = 0;
        qint64 lastMs = 0;
    };

    Queue(QString folder, qint64 mostBytes);
    ~Queue();
    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

    // Makes the folder, takes the files left in it and opens a new one; why not, empty when done.
    QString open();

    // Any thread: whole lines, each ending in '\n', into the open file. False when they could
    // not be written (they are counted as lost).
    bool append(const QByteArray& lines);
    qint64 lostLines() const { return lost_; }

    // The sending thread alone from here on.
    // The open file onto the disk.
    void sync();
    qint64 openBytes() const;
    // The whole lines the open file gained since the database last accepted from it, and where
    // they end.
    QByteArray openUnsent(qint64& upTo) const;
    // The database has accepted the open file up to here.
    void openAccepted(qint64 upTo);
    // Closes the open file and opens the next; a closed file already accepted whole goes.
    // durable: the closed file and its name synced to the disk first, for lines that wait.
    void rotate(bool durable);
    bool hasClosed() const { return !closed_.isEmpty(); }
    std::optional<Segment> oldest() const;
    // The whole lines of a closed file not yet accepted: a tail cut by a power failure, and
    // lines with NUL bytes, are left out.
    QByteArray contents(const Segment& segment) const;
    // Removes a closed file for good; durable: its removal synced to the disk.
    void remove(const Segment& segment, bool durable);
    // Gives up the oldest closed files while the queue is over its most.
    QList<Dropped> dropOverLimit();
    // What waits, in bytes and files.
    qint64 bytes() const;
    int files() const;
    QString lastError() const;

private:
    int openSegment(quint64 serial);
    void syncFolder() const;
    void note(quint64 serial, qint64 sent);

    QString folder_;
    qint64 mostBytes_;
    QList<Segment> closed_;
    quint64 nextSerial_ = 1;
    mutable std::mutex mutex_; // the open file, between the window thread and the sender
    int fd_ = -1;
    Segment open_;
    int noteFd_ = -1; // "enviado": "<serial> <bytes accepted>"
    QString error_;
    std::atomic<qint64> lost_{0};
};

} // namespace archive
