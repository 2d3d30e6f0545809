#include "archive/archiver.h"

#include "archive/database_post.h"
#include "archive/line_protocol.h"
#include "settings/station_settings.h"
#include "toolkit/numbers.h"

#include <chrono>

#include <pthread.h>

namespace archive {

namespace {

using Clock = std::chrono::steady_clock;

QString clockText(qint64 ms) {
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
}

// "512 bytes", "12,5 KiB", "3,2 MiB".
QString sizeText(qint64 bytes) {
    if (bytes < 1024)
        return QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return toolkit::decimalText(bytes * 10 / 1024, 1) + QStringLiteral(" KiB");
    return toolkit::decimalText(bytes * 10 / (1024 * 1024), 1) + QStringLiteral(" MiB");
}

QString queueText(qint64 bytes, int files) {
    if (bytes == 0)
        return QStringLiteral("fila vazia");
    return files > 1 ? QStringLiteral("fila: %1 em %2 arquivos").arg(sizeText(bytes)).arg(files)
                     : QStringLiteral("fila: %1").arg(sizeText(bytes));
}

} // namespace

Archiver::Archiver(ArchiveSettings settings, const settings::StationSettings& stations,
                   Options options, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), stations_(stations),
      options_(std::move(options)), queue_(options_.queueFolder, settings_.queueMostBytes) {}

Archiver::~Archiver() {
    stop_ = true;
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

QString Archiver::start() {
    if (const QString why = queue_.open(); !why.isEmpty())
        return QStringLiteral("Arquivo do local desligado: %1; nenhuma leitura é gravada.")
            .arg(why);
    started_ = true;
    status_.queueBytes = queue_.bytes();
    status_.queueFiles = queue_.files();
    thread_ = std::thread([this] { run(); });
    return {};
}

const QByteArray& Archiver::tagsOf(int station, int unitCode) {
    Slot& slot = slots_[stationSlot(station)];
    const QString name = stations_.name(station);
    // A failed poll says no unit: its line joins the station's series of the last one.
    if (unitCode < 0)
        unitCode = slot.unitCode;
    if (slot.tags.isEmpty() || unitCode != slot.unitCode || name != slot.name) {
        slot.name = name;
        slot.unitCode = unitCode;
        slot.tags =
            tagsText({settings_.site, station, name,
                      unitCode < 0 ? QString() : modbus::unitSymbol(modbus::UnitCode(unitCode))});
    }
    return slot.tags;
}

void Archiver::pollFinished(const bus::PollOutcome& outcome, const readings::Reading*) {
    if (!started_ || outcome.station < 1 || outcome.station > kStations || outcome.cutShort)
        return;
    if (outcome.good() && outcome.values)
        queue_.append(readingLine(tagsOf(outcome.station, int(outcome.values->unitCode())),
                                  *outcome.values, outcome.replyReadMs));
    else
        queue_.append(failedLine(tagsOf(outcome.station, -1), outcome.replyReadMs));
}

void Archiver::add(const QByteArray& lines) {
    if (started_)
        queue_.append(lines);
}

Archiver::Status Archiver::status() const {
    std::lock_guard lock(mutex_);
    return status_;
}

QString Archiver::stateText() const {
    const Status s = status();
    QString text;
    switch (s.state) {
    case State::Starting:
        text = QStringLiteral("Arquivo do local: começando a gravar em %1 — %2.");
        break;
    case State::Writing:
        text = QStringLiteral("Arquivo do local: gravando em %1 — %2.");
        break;
    case State::Away:
        text = QStringLiteral("Arquivo do local: sem conexão com %1 desde %3 — %2; as leituras "
                              "esperam e seguem quando o banco de dados voltar.");
        break;
    }
    text = s.state == State::Away ? text.arg(settings_.url, queueText(s.queueBytes, s.queueFiles),
                                             clockText(s.awaySinceMs))
                                  : text.arg(settings_.url, queueText(s.queueBytes, s.queueFiles));
    if (!s.lastError.isEmpty())
        text += QStringLiteral("\nÚltimo erro: ") + s.lastError;
    if (s.lostLines > 0)
        text += QStringLiteral("\n%1 leituras não puderam ser gravadas na fila (%2): confira o "
                               "espaço em disco e a pasta %3.")
                    .arg(s.lostLines)
                    .arg(queue_.lastError(), options_.queueFolder);
    return text;
}

void Archiver::run() {
    pthread_setname_np(pthread_self(), "arquivo");
    DatabasePost database(
        settings_,
        {.connectMs = options_.connectMs, .transferMs = options_.transferMs, .stop = &stop_});
    Status now = status();
    Clock::time_point retryAt = Clock::now();
    int retryMs = options_.batchMs;
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(options_.batchMs),
                           [this] { return stop_.load(); });
        }
        // Lines that wait for the database outlive a power failure; while it takes every
        // batch, they are in it a second from now.
        const bool durable = now.state != State::Writing;
        if (durable || stop_)
            queue_.sync();
        if (stop_)
            return;
        if (queue_.openBytes() >= kSegmentBytes)
            queue_.rotate(durable);
        for (const Queue::Dropped& dropped : queue_.dropOverLimit()) {
            const QString detail =
                QStringLiteral("a fila passou de fila_max_mb=%1: descartadas as leituras de %2 "
                               "a %3 (%4); aumente fila_max_mb se o disco permitir")
                    .arg(QString::number(settings_.queueMostBytes / (1024 * 1024)),
                         clockText(dropped.firstMs), clockText(dropped.lastMs),
                         sizeText(dropped.bytes));
            QMetaObject::invokeMethod(this, [this, detail] {
                emit journal(QStringLiteral("ARQUIVO DESCARTADO"), detail);
            });
        }
        if (Clock::now() >= retryAt) {
            // One batch to the database: false when it did not take it and it waits.
            const auto send = [&](const QByteArray& lines) {
                const PostOutcome outcome = database.post(lines);
                if (outcome.kind == PostOutcome::Kind::Failed) {
                    if (stop_)
                        return false;
                    if (now.state != State::Away)
                        now.awaySinceMs = options_.nowMs();
                    now.state = State::Away;
                    now.lastError = outcome.reason;
                    retryAt = Clock::now() + std::chrono::milliseconds(retryMs);
                    retryMs = std::min(retryMs * 2, options_.mostRetryMs);
                    return false;
                }
                if (outcome.kind == PostOutcome::Kind::Refused) {
                    now.lastError = outcome.reason;
                    QMetaObject::invokeMethod(this, [this, reason = outcome.reason] {
                        emit journal(QStringLiteral("ARQUIVO DESCARTADO"), reason);
                    });
                }
                return true;
            };
            // The closed files first, oldest first, then what the open one gained.
            bool sent = true;
            while (sent && !stop_ && queue_.hasClosed()) {
                const Queue::Segment segment = *queue_.oldest();
                const QByteArray lines = queue_.contents(segment);
                if ((sent = lines.isEmpty() || send(lines)))
                    queue_.remove(segment, durable);
            }
            qint64 upTo = 0;
            if (sent && !stop_) {
                if (const QByteArray lines = queue_.openUnsent(upTo);
                    !lines.isEmpty() && (sent = send(lines)))
                    queue_.openAccepted(upTo);
            }
            if (stop_)
                return;
            if (sent) {
                now.state = State::Writing;
                retryMs = options_.batchMs;
            }
        }
        // Writing, the open file holds less than a batch: nothing is said to wait, and
        // Diagnóstico is not told every second.
        const bool waiting = now.state != State::Writing || queue_.hasClosed();
        now.queueBytes = waiting ? queue_.bytes() : 0;
        now.queueFiles = waiting ? queue_.files() : 0;
        now.lostLines = queue_.lostLines();
        publish(now);
    }
}

void Archiver::publish(const Status& now) {
    Status before;
    {
        std::lock_guard lock(mutex_);
        if (status_ == now)
            return;
        before = std::exchange(status_, now);
    }
    QMetaObject::invokeMethod(this, [this, before, now] {
        told(before, now);
        emit stateChanged();
    });
}

void Archiver::told(const Status& before, const Status& now) {
    if (now.state == State::Away && before.state != State::Away)
        emit journal(QStringLiteral("ARQUIVO FORA"), now.lastError);
    else if (now.state == State::Writing && before.state == State::Away)
        emit journal(QStringLiteral("ARQUIVO NORMAL"),
                     QStringLiteral("%1 aceita as leituras de novo (fora desde %2); %3")
                         .arg(settings_.url, clockText(before.awaySinceMs),
                              queueText(now.queueBytes, now.queueFiles)));
}

} // namespace archive
