#include "site/site_trace.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>

Q_LOGGING_CATEGORY(lcSite, "anemometros.site", QtWarningMsg)

namespace site {

qint64 traceClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TraceLines::add(const QString& message) {
    lines_ += lcSite().categoryName();
    lines_ += ": ";
    lines_ += message.toUtf8();
    lines_ += '\n';
}

void TraceLines::write() {
    qsizetype written = 0;
    while (written < lines_.size()) {
        const ssize_t n = ::write(STDERR_FILENO, lines_.constData() + written,
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
