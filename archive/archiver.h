#pragma once

#include "archive/archive_queue.h"
#include "archive/archive_settings.h"
#include "modbus/stations.h"
#include "readings/reading_feed.h"

#include <QDateTime>
#include <QObject>

#include <array>
#include <condition_variable>
#include <functional>
#include <memory>
#include <thread>

namespace settings {
class StationSettings;
}

namespace archive {

// Every poll of every polled station, and the alarm list's events, written to the site's
// database. A poll becomes one line in the queue on the window thread (a write to the open
// file, nothing more); a thread of its own sends the queue every second, oldest first, and
// waits out a database that is away or hangs, so the polls never wait for it. Made only when
// [arquivo] sets a url.
class Archiver : public QObject, public readings::ReadingListener {
    Q_OBJECT

public:
    struct Options {
        QString queueFolder; // arquivo-fila in the station folder
        std::function<qint64()> nowMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
        int batchMs = 1000;
        int connectMs = 5'000;
        int transferMs = 20'000;
        int mostRetryMs = 30'000; // the longest wait between tries while the database is away
    };

    enum class State { Starting, Writing, Away };
    // What Diagnóstico shows, as the sending thread last saw it.
    struct Status {
        State state = State::Starting;
        qint64 awaySinceMs = 0;
        qint64 queueBytes = 0;
        int queueFiles = 0;
        qint64 lostLines = 0;
        QString lastError;
        friend bool operator==(const Status&, const Status&) = default;
    };

    Archiver(ArchiveSettings settings, const settings::StationSettings& stations, Options options,
             QObject* parent = nullptr);
    // Stops the thread: what waits stays in the queue for the next start.
    ~Archiver() override;

    // Takes the queue left by an earlier run and starts sending; a message to show once when the
    // queue's folder cannot be written (nothing is archived then).
    QString start();

    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;
    // Whole lines of line protocol, each ending in '\n'.
    void add(const QByteArray& lines);

    const ArchiveSettings& settings() const { return settings_; }
    Status status() const;
    // Diagnóstico's lines: the database and its state, the queue, the last error.
    QString stateText() const;

signals:
    // "ARQUIVO FORA", "ARQUIVO NORMAL", "ARQUIVO DESCARTADO", for the event journal.
    void journal(const QString& event, const QString& detail);
    void stateChanged();

private:
    struct Slot {
        QString name;
        int unitCode = -1;
        QByteArray tags; // tagsText of the station as it stands
    };
    const QByteArray& tagsOf(int station, int unitCode);
    void run();
    void publish(const Status& now);
    void told(const Status& before, const Status& now);

    ArchiveSettings settings_;
    const settings::StationSettings& stations_;
    Options options_;
    Queue queue_;
    std::array<Slot, kStations> slots_;
    bool started_ = false;

    // Between the window thread and the sending thread.
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<bool> stop_{false};
    Status status_;
    std::thread thread_;
};

} // namespace archive
