#pragma once

#include <QString>

namespace alarms {
class AlarmBook;
}

namespace settings {
class StationSettings;
}

namespace notify {

class Notifier;

// Tells the notifier the station program's alarm list at every change, station by station,
// and the acknowledgements that take an alarm off the list, from now on and as it stands now.
// A poll that changes nothing tells nothing.
void followBook(Notifier& notifier, const alarms::AlarmBook& book,
                const settings::StationSettings& stations, const QString& site);

} // namespace notify
