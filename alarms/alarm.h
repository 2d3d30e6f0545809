#pragma once

#include "modbus/stations.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace alarms {

// The alarms each configured station can raise, and the port's own (station 0, shown as "-").
enum class Kind : std::uint8_t { Preset2, Preset1, NoAnswer, PortClosed, BatteryLow, LogFailed };
inline constexpr int kKinds = 6;
inline constexpr int kPortStation = 0;

enum class Priority : std::uint8_t { High, Medium, Low };

// ATIVO: active, not acknowledged. RECONHECIDO: active, acknowledged. NORMALIZADO: gone, not
// yet acknowledged (latched). SUPRIMIDO: shelved until a time, active or not underneath.
enum class State : std::uint8_t { Active, Acknowledged, Normalized, Shelved };

// What the horn plays: nothing, the intermittent sound (média, baixa) or the continuous one.
enum class Horn : std::uint8_t { None, Intermittent, Continuous };

// "PRESET 2", "SEM RESPOSTA", ...
QString kindText(Kind kind);
std::optional<Kind> kindFromText(QStringView text);
Priority priorityOf(Kind kind);
// "alta", "média", "baixa".
QString priorityText(Priority priority);
// Only the preset alarms keep the highest speed seen while they are active.
inline bool tracksPeak(Kind kind) {
    return kind == Kind::Preset1 || kind == Kind::Preset2;
}
// The port's alarm belongs to no station, and only it does.
inline bool validStation(Kind kind, int station) {
    return kind == Kind::PortClosed ? station == kPortStation
                                    : station >= 1 && station <= kStations;
}
// "3", or "-" for the port.
QString stationText(int station);

// The low battery comes below 3,40 V and goes at 3,50 V or more, so that a battery resting at
// its threshold does not raise and clear the alarm at every poll.
inline constexpr int kBatteryLowBelowHundredths = 340;
inline constexpr int kBatteryGoodFromHundredths = 350;
inline bool batteryLow(bool wasLow, int hundredthsOfVolt) {
    return hundredthsOfVolt < (wasLow ? kBatteryGoodFromHundredths : kBatteryLowBelowHundredths);
}

// Which alarm of which station: one entry at most per key is listed.
struct Key {
    int station = 0;
    Kind kind = Kind::Preset2;
    friend bool operator==(const Key&, const Key&) = default;
};

// One listed alarm. Times are milliseconds since 1970; 0 means none.
struct Entry {
    int station = 0;
    Kind kind = Kind::Preset2;
    State state = State::Active;
    qint64 sinceMs = 0;         // when it first came; a repetition keeps it
    std::optional<double> peak; // preset alarms: the highest speed while active
    QString unit;               // of the peak: "km/h", "m/s", ...
    QString acknowledgedBy;     // the user's login name
    qint64 acknowledgedAtMs = 0;
    qint64 shelvedUntilMs = 0; // while SUPRIMIDO
    int repetitions = 0;       // how often it came again while listed
    bool active = false;       // the condition, whatever the state shows
    // Its latest coming, the one in progress while active: when it came and its own peak.
    qint64 occurrenceMs = 0;
    std::optional<double> occurrencePeak;
    // Not kept in the file: the first poll after a restart decides again.
    bool toConfirm = false;    // restored active from the file, not yet decided by its rule
    qint64 absentSinceMs = 0;  // the condition gone, the entry not yet normal (the delay)
    quint64 historySerial = 0; // the record of the coming in progress in the day's history

    Key key() const { return {station, kind}; }
    friend bool operator==(const Entry&, const Entry&) = default;
};

// SILENCIAR: the horn quiet until an alarm comes that the operator must hear (a new one, one
// ATIVO again), whatever else the list does meanwhile. The station's list and the site's alike.
class HornSilence {
public:
    Horn horn(Horn wanted) const { return silenced_ ? Horn::None : wanted; }
    // False, and nothing changes, when the horn was not sounding.
    bool silence(Horn wanted) {
        if (wanted == Horn::None)
            return false;
        silenced_ = true;
        return true;
    }
    void alarmCame() { silenced_ = false; }

private:
    bool silenced_ = false;
};

// "ATIVO", "RECONHECIDO", "NORMALIZADO", "SUPRIMIDO ATÉ 14:30" (local time).
QString stateText(const Entry& entry);
// "HH:mm" of a time in milliseconds since 1970, local time.
QString clockText(qint64 ms);

} // namespace alarms
