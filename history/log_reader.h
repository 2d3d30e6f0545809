#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>

#include <cstdint>
#include <vector>

namespace history {

// One logged reading, as the log line holds it. Speeds and presets are in tenths of the
// file's unit, the battery in hundredths of a volt; a speed shown as "> LIMITE" is kOverLimit.
struct Sample {
    static constexpr std::uint16_t kOverLimit = 0xFFFF;
    static constexpr std::int8_t kNoDirection = -1;

    std::int32_t secondOfDay = 0;
    std::uint16_t speed = 0;
    std::uint16_t preset1 = 0;
    std::uint16_t preset2 = 0;
    std::uint16_t battery = 0;
    std::int8_t direction = kNoDirection; // compass code 0..15, or none ("---")
    bool sound = false;

    bool overLimit() const { return speed == kOverLimit; }
    friend bool operator==(const Sample&, const Sample&) = default;
};

// What one log file holds: the station's name and the day from the file's name, the unit
// from its header, its readings in order and the number of lines that did not read as one.
struct DayLog {
    QString station;
    QDate day;
    QString unit; // "m/s", "km/h", "kn" or empty
    std::vector<Sample> samples;
    int skipped = 0;
};

// The station's name and the day of a log file name ("07-12-2026 ANEMÔMETRO 1.txt"); an
// invalid day for any other name (the event journal's included).
struct LogName {
    QDate day;
    QString station;
};
LogName parseLogName(const QString& fileName);

// Reads the bytes of a log file: Windows-1252, CR LF or LF alone. A line that does not read as
// a log line (a foreign line, a half-written last line) is skipped and counted, never fatal.
DayLog readLog(const QByteArray& bytes);

// One log line "HH:mm:ss;speed;direction;preset1;preset2;sound;battery;", or false.
bool parseLine(const char* begin, const char* end, Sample& sample);

} // namespace history
