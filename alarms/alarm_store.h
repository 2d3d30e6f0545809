#pragma once

#include "alarms/alarm_book.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace alarms {

// Keeps the alarm book's list in its file: read back once at start, written whole at every
// change of the list (a change of the day's history or of the horn alone writes nothing). A
// file that cannot be written is told once through the standard error report, after the tick
// that changed the list, and then on standard error only, until a write succeeds again.
class AlarmStore : public QObject {
    Q_OBJECT

public:
    AlarmStore(AlarmBook& book, QString path, QObject* parent = nullptr);

    // The list the file holds into the book; the message to show once when the file was there
    // but could not be used (the program then starts with an empty list).
    QString restore();

private:
    void save();

    AlarmBook& book_;
    QString path_;
    QByteArray written_;
    bool failing_ = false;
};

} // namespace alarms
