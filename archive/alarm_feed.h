#pragma once

#include <QDateTime>

#include <functional>

namespace alarms {
class AlarmBook;
}

namespace settings {
class StationSettings;
}

namespace archive {

class Archiver;

// Writes every change of the station program's alarm list to the archive: an alarm that comes
// into the list or changes its state (ATIVO, RECONHECIDO, NORMALIZADO, SUPRIMIDO), and one that
// leaves it (normal), from now on. The list as it stands at start was written before the
// restart and is not written again.
void followBook(Archiver& archiver, const alarms::AlarmBook& book,
                const settings::StationSettings& stations, std::function<qint64()> nowMs);

} // namespace archive
