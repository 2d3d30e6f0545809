#pragma once

// A notifier of the test's own in a temporary folder, with its journal lines kept, and alarm
// entries as the lists give them.

#include "notify/notifier.h"

#include <QDateTime>
#include <QFile>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

struct NotifyFixture {
    QTemporaryDir dir;
    std::unique_ptr<notify::Notifier> notifier;
    QStringList journal; // "EVENTO;station;detail"

    notify::Notifier& start(const notify::NotifySettings& settings, qint64 firstRetryMs = 10'000,
                            int tryTimeoutMs = 30'000, int commandMostRunMs = 10'000) {
        notifier = std::make_unique<notify::Notifier>(
            settings, notify::Notifier::Options{.stateFile = stateFile(),
                                                .site = QStringLiteral("obra1"),
                                                .firstRetryMs = firstRetryMs,
                                                .tryTimeoutMs = tryTimeoutMs,
                                                .commandMostRunMs = commandMostRunMs});
        QObject::connect(
            notifier.get(), &notify::Notifier::journal, notifier.get(),
            [this](const QString& station, const QString& event, const QString& detail) {
                journal << event + u';' + station + u';' + detail;
            });
        notifier->restore();
        return *notifier;
    }
    QString stateFile() const { return dir.filePath(QStringLiteral("notificacoes.json")); }
    QByteArray stateBytes() const {
        QFile file(stateFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList lines(const QString& event) const {
        return journal.filter(QRegularExpression(u'^' + event + u';'));
    }
};

// PRESET 2 of station 3, ATIVO since a fixed time, with its peak.
inline alarms::Entry preset2(alarms::State state = alarms::State::Active, int repetitions = 0) {
    alarms::Entry entry;
    entry.station = 3;
    entry.kind = alarms::Kind::Preset2;
    entry.state = state;
    entry.sinceMs = QDateTime(QDate(2026, 12, 7), QTime(14, 3, 5)).toMSecsSinceEpoch();
    entry.peak = 72.4;
    entry.unit = QStringLiteral("km/h");
    entry.repetitions = repetitions;
    entry.active = state == alarms::State::Active || state == alarms::State::Acknowledged;
    return entry;
}

inline const QString kSubject =
    QStringLiteral("K&V ANEMÔMETROS: PRESET 2 ATIVO — GUINDASTE NORTE (obra1)");
