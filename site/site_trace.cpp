#include "site/site_trace.h"

#include <chrono>

Q_LOGGING_CATEGORY(lcSite, "anemometros.site", QtWarningMsg)

namespace site {

qint64 traceClockMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace site
