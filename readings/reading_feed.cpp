#include "readings/reading_feed.h"

#include <optional>

namespace readings {

namespace {

std::optional<Reading> readingOfOutcome(const bus::PollOutcome& outcome) {
    if (!outcome.good() || !outcome.values)
        return std::nullopt;
    return readingOf(*outcome.values, outcome.station);
}

} // namespace

void ReadingFeed::pollFinished(const bus::PollOutcome& outcome) {
    const std::optional<Reading> reading = readingOfOutcome(outcome);
    const Reading* made = reading ? &*reading : nullptr;
    tellListeners([&](ReadingListener& listener) { listener.pollFinished(outcome, made); });
}

void tell(ReadingListener& listener, const bus::PollOutcome& outcome) {
    const std::optional<Reading> reading = readingOfOutcome(outcome);
    listener.pollFinished(outcome, reading ? &*reading : nullptr);
}

void ReadingFeed::portStateChanged(bus::PortState from, bus::PortState to,
                                   const QString& portName) {
    tellListeners(
        [&](ReadingListener& listener) { listener.portStateChanged(from, to, portName); });
}

} // namespace readings
