#include "site/site_trace.h"

#include "toolkit/os_files.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <chrono>

Q_LOGGING_CATEGORY(lcSite, "anemometros.site", QtWarningMsg)

namespace site {

qint64 traceClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

namespace {

// As QString::number writes it ("%g" with 6 digits), without QString.
void appendNumber(QByteArray& line, std::optional<double> number) {
    if (!number) {
        line += "null";
        return;
    }
    std::array<char, 32> digits;
    const double value = *number == 0 ? 0.0 : *number; // "0" for -0 too
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                   std::chars_format::general, 6)
                         .ptr;
    line.append(digits.data(), end - digits.data());
}

void appendNumber(QByteArray& line, qint64 number) {
    std::array<char, 24> digits;
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), number).ptr;
    line.append(digits.data(), end - digits.data());
}

} // namespace

void TraceLines::shown(const QString& prefix, int station, std::optional<double> speed,
                       std::optional<double> battery, qint64 ms) {
    lines_ += lcSite().categoryName();
    lines_ += ": shown ";
    lines_ += prefix.toUtf8();
    lines_ += ' ';
    appendNumber(lines_, qint64(station));
    lines_ += ' ';
    appendNumber(lines_, speed);
    lines_ += ' ';
    appendNumber(lines_, battery);
    lines_ += ' ';
    appendNumber(lines_, ms);
    lines_ += '\n';
}

void TraceLines::write() {
    qsizetype written = 0;
    while (written < lines_.size()) {
        const ssize_t n = os::writeStandardError(lines_.constData() + written,
                                                 std::size_t(lines_.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break; // nowhere to write: the trace is lost, not the view
        written += n;
    }
    lines_.resize(0); // its room kept for the next batch
}

} // namespace site
