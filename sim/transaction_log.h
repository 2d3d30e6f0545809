#pragma once

#include "sim/rtu_frames.h"
#include "sim/station_setup.h"

#include <QDateTime>
#include <QFile>

namespace sim {

// One request received and what was done with it.
struct Transaction {
    std::int64_t monotonicMs = 0;
    QDateTime wallTime;
    const StationSetup* station = nullptr; // none of ours has the address
    std::uint8_t address = 0;
    Outcome outcome = Outcome::Silent;
    std::optional<modbus::StationValues> registers; // the values the station held, if read
    QString detail;                                 // Portuguese: what was sent or what went wrong
};

// The Portuguese log line, without the time of day.
QString describeTransaction(const Transaction& transaction);
// monotonic_ms;wall_iso8601;address;outcome;speed;battery;direction;preset1;preset2;status
QString recordLine(const Transaction& transaction);

// The readable transaction log (standard output unless a file is given) and the CSV record.
class TransactionLog {
public:
    // Returns a Portuguese error text when a file cannot be created.
    QString open(const QString& logPath, const QString& recordPath);
    void write(const Transaction& transaction);
    // A bus event that is not a request, such as the adapter being pulled out.
    void note(const QString& text);

private:
    void writeLogLine(const QString& text);

    QFile log_;
    QFile record_;
};

} // namespace sim
