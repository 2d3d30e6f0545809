#include "bus/station_bus.h"

#include "serial/open_messages.h"
#include "toolkit/messages.h"
#include "toolkit/timer.h"

#include <QDateTime>

#include <utility>

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPoll, "anemometros.poll", QtWarningMsg)

namespace bus {

namespace {

constexpr int kOpeningFirstMs = 1000;
constexpr int kControlFirstMs = 2000;
constexpr int kReplyWaitMs = 100;
// Station 1 waits longer for its reply once the port is open.
constexpr int kFirstReplyWaitMs = 150;

toolkit::Timer* namedTimer(QObject* parent, const QString& name, int intervalMs, bool enabled) {
    auto* timer = new toolkit::Timer(parent, intervalMs, enabled);
    timer->setObjectName(name);
    return timer;
}

} // namespace

StationBus::StationBus(const settings::StationSettings& settings, View& view, QObject* parent)
    : QObject(parent), settings_(settings), view_(view) {
    setObjectName(QStringLiteral("StationBus"));
    openingTimer_ = namedTimer(this, QStringLiteral("TimerAbrePorta"), kOpeningFirstMs, true);
    controlTimer_ = namedTimer(this, QStringLiteral("TimerControle"), kControlFirstMs, false);
    for (int station = 1; station <= kStations; ++station)
        replyTimers_[stationSlot(station)] =
            namedTimer(this, QStringLiteral("Timer%1").arg(station), kReplyWaitMs, false);
    connect(&reader_, &PortReader::ended, this, &StationBus::finishPoll);
}

StationBus::~StationBus() = default;

void StationBus::openingTick() {
    endPendingRead();
    // A refused step's message is on screen and the port still open: no second attempt.
    if (state_ == PortState::ReportingOpenFailure)
        return;
    const QString portName = settings_.portName();
    const QString lineParameters = settings_.baudText() + QStringLiteral(",N,8,1");
    const serial::OpenResult result =
        port_.open(portName.toStdString(), lineParameters.toStdString());
    if (result.ok) {
        setState(PortState::Open);
        view_.setPortText(portName + QStringLiteral(" Aberta"));
        controlTimer_->setEnabled(true);
        replyTimer(1).setInterval(kFirstReplyWaitMs);
        openingTimer_->setEnabled(false);
        return;
    }
    if (state_ == PortState::Lost)
        port_.close(); // waiting for the device to come back: quietly
    else
        reportOpeningFailure(result, portName, lineParameters);
    view_.setPortText(portName + QStringLiteral(" Fechada"));
    controlTimer_->setEnabled(false);
    openingTimer_->setInterval(kRetryMs);
}

void StationBus::reportOpeningFailure(const serial::OpenResult& result, const QString& portName,
                                      const QString& lineParameters) {
    const QString message = QString::fromStdString(serial::openFailureMessage(
        result.failedStep, portName.toStdString(), lineParameters.toStdString(), result.error));
    if (result.failedStep == serial::OpenStep::Open) {
        // The port is missing or held elsewhere: wait for the user, not for the timer.
        openingTimer_->setEnabled(false);
        setState(PortState::WaitingForUser);
        view_.showPortMessage(message);
        return;
    }
    // The port is still open while the message shows; it closes once the user has read it.
    setState(PortState::ReportingOpenFailure);
    try {
        view_.showPortMessage(message);
    } catch (...) {
        setState(PortState::WaitingToOpen);
        port_.close();
        throw;
    }
    setState(PortState::WaitingToOpen);
    port_.close();
}

void StationBus::controlTick() {
    endPendingRead();
    controlTimer_->setEnabled(false);
    const int station = stationIndex_;
    if (station >= 1 && station <= kStations && settings_.polled(station)) {
        const modbus::RequestFrame frame =
            modbus::buildRequest(settings_.addressText(station), lastRequest_, crc_);
        const QString address = QString::number(lastRequest_[0]);
        if (station == 1)
            view_.setPortText(QStringLiteral("N°: ") + address);
        else
            view_.setPortText(view_.portText() + QStringLiteral(" | N°: ") + address);
        qCDebug(lcPoll) << "station" << station << "address" << address;
        port_.write(frame);
        requestWrittenMs_[stationSlot(station)] = QDateTime::currentMSecsSinceEpoch();
        cutShort_[stationSlot(station)] = false;
        replyTimer(station).setEnabled(true);
        controlTimer_->setInterval(kPollStepMs);
    } else {
        const int pauseMs = settings_.cyclePauseMs();
        qCDebug(lcPoll) << "end of cycle at index" << station << "pause" << pauseMs;
        controlTimer_->setInterval(pauseMs);
        stationIndex_ = 1;
    }
    controlTimer_->setEnabled(true);
}

void StationBus::replyTick(int station) {
    endPendingRead();
    // Each reply timer fires once, and the cycle moves on whatever the reply turns out to be.
    replyTimer(station).setEnabled(false);
    stationIndex_ = station + 1;
    readingStation_ = station;
    if (!reader_.start(serial::kReadTotalWait)) {
        finishPoll({}); // the port is closed: nothing can come
        return;
    }
    // The ticks that fall due during the read wait for its end, as they would behind a
    // blocking read: the next request leaves 200 ms after an answered one, but only once a
    // silent station's read is over (100 + 256 ms).
    openingTimer_->holdTicks();
    controlTimer_->holdTicks();
}

void StationBus::finishPoll(modbus::Bytes reply) {
    const int station = std::exchange(readingStation_, 0);
    PollOutcome outcome;
    outcome.station = station;
    outcome.address = lastRequest_[0];
    outcome.requestWrittenMs = requestWrittenMs_[stationSlot(station)];
    outcome.cutShort = std::exchange(cutShort_[stationSlot(station)], false);
    outcome.reply = std::move(reply);
    outcome.replyReadMs = QDateTime::currentMSecsSinceEpoch();
    outcome.kind = modbus::checkReply(outcome.reply, lastRequest_, crc_);
    // Held ticks come through the message loop: after the listeners, or under a box one of
    // them shows, as the timers do.
    releaseTicks();
    toolkit::guarded([&] {
        if (outcome.good()) {
            // A whole reply had come before the operator's command: an ordinary poll.
            outcome.cutShort = false;
            outcome.values = modbus::decodeReply(outcome.reply);
        } else if (port_.deviceLost()) {
            outcome.portLost = true;
            portLost();
        }
        qCDebug(lcPoll) << "station" << station << "outcome" << static_cast<int>(outcome.kind);
        tellListeners([&outcome](OutcomeListener& listener) { listener.pollFinished(outcome); });
    });
    emit replyRead(station);
}

void StationBus::endPendingRead() {
    if (reader_.pending())
        finishPoll(reader_.stop());
}

std::optional<modbus::Bytes> StationBus::cutPendingRead() {
    if (!reader_.pending())
        return std::nullopt;
    modbus::Bytes reply = reader_.stop();
    cutShort_[stationSlot(readingStation_)] = true;
    releaseTicks();
    return reply;
}

void StationBus::releaseTicks() {
    openingTimer_->releaseTicks();
    controlTimer_->releaseTicks();
}

void StationBus::portLost() {
    port_.close();
    setState(PortState::Lost);
    view_.setPortText(settings_.portName() + QStringLiteral(" Fechada"));
    controlTimer_->setEnabled(false);
    openingTimer_->setInterval(kRetryMs);
    openingTimer_->setEnabled(true);
    view_.showPortLost();
}

void StationBus::setState(PortState state) {
    if (state == state_)
        return;
    const PortState from = std::exchange(state_, state);
    const QString portName = settings_.portName();
    tellListeners(
        [&](OutcomeListener& listener) { listener.portStateChanged(from, state, portName); });
}

void StationBus::cutShortAwaitedReplies() {
    for (int station = 1; station <= kStations; ++station) {
        if (replyTimer(station).enabled())
            cutShort_[stationSlot(station)] = true;
    }
}

void StationBus::stopForConfiguration() {
    const std::optional<modbus::Bytes> cut = cutPendingRead();
    openingTimer_->setEnabled(false);
    controlTimer_->setEnabled(false);
    cutShortAwaitedReplies();
    // What had come of a reply being read is taken before the port closes, so a whole reply
    // counts as the ordinary poll it was, ahead of the closed port.
    if (cut)
        finishPoll(*cut);
    setState(PortState::ClosedForConfiguration);
    port_.close();
}

void StationBus::close() {
    const std::optional<modbus::Bytes> cut = cutPendingRead();
    cutShortAwaitedReplies();
    if (cut)
        finishPoll(*cut);
    port_.close();
}

} // namespace bus
