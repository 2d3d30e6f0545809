#include "polling.h"

#include "stations.h"
#include "timer.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPoll, "anemometros.poll", QtWarningMsg)

namespace modbus {

void controlTick(PollHost& host, toolkit::Timer& controlTimer, PollState& state) {
    controlTimer.setEnabled(false);
    const int station = state.stationIndex;
    if (station >= 1 && station <= kStations && host.stationShown(station)) {
        const RequestFrame frame =
            buildRequest(host.addressText(station), state.lastRequest, state.crc);
        const QString address = QString::number(state.lastRequest[0]);
        if (station == 1)
            host.setPollTrail(QStringLiteral("N°: ") + address);
        else
            host.setPollTrail(host.pollTrail() + QStringLiteral(" | N°: ") + address);
        qCDebug(lcPoll) << "station" << station << "address" << address;
        host.sendFrame(frame);
        host.armReplyTimer(station);
        controlTimer.setInterval(kPollStepMs);
    } else {
        qCDebug(lcPoll) << "end of cycle at index" << station << "pause" << state.cyclePauseMs;
        controlTimer.setInterval(state.cyclePauseMs);
        state.stationIndex = 1;
    }
    controlTimer.setEnabled(true);
}

void handOver(toolkit::Timer& replyTimer, int station, PollState& state) {
    replyTimer.setEnabled(false);
    state.stationIndex = station + 1;
}

} // namespace modbus
