#include "alarms/alarm_store.h"

#include "alarms/alarm_file.h"
#include "toolkit/failure.h"
#include "toolkit/messages.h"

#include <QTimer>

namespace alarms {

AlarmStore::AlarmStore(AlarmBook& book, QString path, QObject* parent)
    : QObject(parent), book_(book), path_(std::move(path)) {
    connect(&book_, &AlarmBook::changed, this, &AlarmStore::save);
}

QString AlarmStore::restore() {
    AlarmFileRead read = readAlarmFile(path_);
    if (read.error.isEmpty()) {
        book_.restore(read.entries);
        written_ = encodeAlarms(book_.entries());
    }
    return read.error;
}

void AlarmStore::save() {
    QByteArray bytes = encodeAlarms(book_.entries());
    if (bytes == written_)
        return;
    try {
        writeAlarmFile(path_, book_.entries());
        written_ = std::move(bytes);
        failing_ = false;
    } catch (const toolkit::Failure& failure) {
        if (std::exchange(failing_, true)) {
            toolkit::reportToStandardError(failure.text(), toolkit::Severity::Error);
            return;
        }
        // After the tick: a box opened here would run its loop inside the poll.
        QTimer::singleShot(0, this, [text = failure.text()] { toolkit::reportError(text); });
    }
}

} // namespace alarms
