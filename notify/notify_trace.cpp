#include "notify/notify_trace.h"

#include <chrono>

Q_LOGGING_CATEGORY(lcNotify, "anemometros.notify", QtWarningMsg)

namespace notify {

qint64 traceClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace notify
