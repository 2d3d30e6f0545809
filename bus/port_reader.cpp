#include "bus/port_reader.h"

#include <utility>

namespace bus {

PortReader::PortReader(serial::SerialPort& port) : port_(port) {
    for (QTimer* timer : {&quiet_, &overall_}) {
        timer->setSingleShot(true);
        timer->setTimerType(Qt::PreciseTimer);
        connect(timer, &QTimer::timeout, this, &PortReader::finish);
    }
    quiet_.setInterval(std::chrono::milliseconds(serial::kPortTimeouts.readIntervalMs));
    connect(&notifier_, &ArrivalNotifier::arrived, this, &PortReader::takeArrived);
}

PortReader::~PortReader() {
    endRead();
}

bool PortReader::start(std::chrono::milliseconds within) {
    endRead();
    if (!port_.isOpen())
        return false;
    bytes_.clear();
    bytes_.reserve(serial::kMaxReadBytes);
    failed_ = false;
    pending_ = true;
    overall_.start(within);
    notifier_.watch(port_.arrivalHandle());
    return true;
}

// The descriptor is readable: bytes came, or the device went away.
void PortReader::takeArrived() {
    if (!pending_)
        return;
    const std::size_t had = bytes_.size();
    if (!port_.readArrived(bytes_)) {
        failed_ = true;
        finish();
        return;
    }
    if (bytes_.size() >= serial::kMaxReadBytes) {
        finish();
        return;
    }
    if (bytes_.size() > had)
        quiet_.start();
}

void PortReader::finish() {
    if (!pending_)
        return;
    std::vector<std::uint8_t> bytes = endRead();
    // An empty read waits for the line to drain, which is where a pulled-out adapter shows.
    if (bytes.empty())
        port_.flush();
    emit ended(bytes);
}

std::vector<std::uint8_t> PortReader::stop() {
    if (pending_ && !failed_ && !port_.readArrived(bytes_))
        failed_ = true;
    return endRead();
}

std::vector<std::uint8_t> PortReader::endRead() {
    notifier_.setEnabled(false);
    quiet_.stop();
    overall_.stop();
    const bool failed = std::exchange(failed_, false);
    pending_ = false;
    std::vector<std::uint8_t> bytes = std::exchange(bytes_, {});
    // A failed read gives nothing, as the blocking read does.
    if (failed)
        bytes.clear();
    return bytes;
}

} // namespace bus
