#pragma once

#include "archive/archive_settings.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <memory>

namespace archive {

// What the database made of one batch.
struct PostOutcome {
    enum class Kind { Accepted, Refused, Failed };
    Kind kind = Kind::Failed;
    // Refused: the lines themselves (400); sending them again would never do. Failed: the
    // database is away, hangs, or will not take them now; they wait.
    QString reason; // one Portuguese sentence that says what to change
};

// The connection to the database for the sending thread: one libcurl handle, kept between
// batches so that its connection stays open. libcurl is opened with the notifications' loader.
class DatabasePost {
public:
    struct Limits {
        int connectMs = 5'000;
        int transferMs = 20'000;
        const std::atomic<bool>* stop = nullptr; // ends a try early: the program is stopping
    };

    DatabasePost(const ArchiveSettings& settings, Limits limits);
    ~DatabasePost();
    DatabasePost(const DatabasePost&) = delete;
    DatabasePost& operator=(const DatabasePost&) = delete;

    // POSTs the lines to <url>/write?precision=ms; blocks, never longer than the limits.
    PostOutcome post(const QByteArray& lines);

private:
    struct Handle;
    QString url_;
    QString shown_;
    QByteArray writeUrl_;
    QByteArray user_;
    QByteArray password_;
    QByteArray tlsCa_;
    Limits limits_;
    std::unique_ptr<Handle> handle_;
};

// Why a batch was not taken, from libcurl's result code or the HTTP status and the start of the
// answer's body.
QString postFailure(const QString& url, int curlCode, const QString& curlError, long status,
                    const QByteArray& body, int transferMs);

} // namespace archive
