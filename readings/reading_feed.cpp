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
    for (ReadingListener* listener : listeners_)
        listener->pollFinished(outcome, reading ? &*reading : nullptr);
}

void tell(ReadingListener& listener, const bus::PollOutcome& outcome) {
    const std::optional<Reading> reading = readingOfOutcome(outcome);
    listener.pollFinished(outcome, reading ? &*reading : nullptr);
}

void ReadingFeed::portStateChanged(bus::PortState from, bus::PortState to,
                                   const QString& portName) {
    for (ReadingListener* listener : listeners_)
        listener->portStateChanged(from, to, portName);
}

} // namespace readings
