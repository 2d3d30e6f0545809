#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace health {

// One line of the event journal.
struct Event {
    QDateTime at;    // local time
    QString station; // the station's name, the port's name, or "-" for the program itself
    QString event;   // "SEM RESPOSTA", "PRESET1 ATIVO", ...
    QString detail;
    friend bool operator==(const Event&, const Event&) = default;
};

// The event journal: one file a day in the log folder, "Eventos DD-MM-YYYY.txt", Windows-1252
// with CR LF like the log files, a header line and one line per event, each written and
// closed at once.
namespace journal {

inline constexpr int kKeptDays = 90;
inline const QString kHeader = QStringLiteral("HORA;ESTACAO;EVENTO;DETALHE;");

QString fileName(const QDate& day);
// "HH:mm:ss;station;event;detail;" — a ';' inside a field becomes ',' and a control
// character a blank, so that every line keeps its four fields.
QString line(const Event& event);

// Appends the event to its day's file in `folder`; a file that is new or empty gets the header
// first, in the same write. The folder is never created here. Failures throw toolkit::Failure.
void append(const QString& folder, const Event& event);

// Deletes the journals of days more than 90 days before `today`: only regular files named
// exactly like a journal, directly in `folder`. Returns how many went.
int prune(const QString& folder, const QDate& today);

// The events of one day's file, oldest first; a missing file is an empty list, lines that do
// not read as events are skipped.
QList<Event> read(const QString& folder, const QDate& day);

} // namespace journal

} // namespace health
