#pragma once

// A reply tick starts the read of the reply; the read waits in the message loop. A test that
// drives the ticks by hand lets the loop run until the read has ended and its outcome is told.

#include "bus/station_bus.h"

#include <QSignalSpy>

inline bool waitForReply(bus::StationBus& stations, int timeoutMs = 3000) {
    if (!stations.replyPending())
        return true;
    QSignalSpy read(&stations, &bus::StationBus::replyRead);
    return read.wait(timeoutMs);
}
