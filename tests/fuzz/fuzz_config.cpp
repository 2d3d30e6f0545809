#include "config/config_file.h"
#include "logs/log_format.h"
#include "scratch_folder.h"
#include "toolkit/failure.h"

#include <QDate>

#include <cstdlib>
#include <limits>

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Whatever a station name line holds, its log file stays a plain name in the log folder.
void checkLogFileName(const QString& stationName) {
    const QString name = logs::logFileName(QDate(2026, 12, 7), stationName);
    check(!name.contains(u'/') && !name.contains(QChar(0)) && name.endsWith(u".txt"));
    for (const QChar ch : name) {
        const char16_t c = ch.unicode();
        check(c >= 0x20 && c != 0x7F && (c < 0x80 || c > 0x9F));
    }
}

void checkCyclePause(const config::ConfigText& text) {
    const QString& readInterval = config::at(text, config::line::kReadInterval);
    const QString& stationCount = config::at(text, config::line::kStationCount);
    long long expected = 0;
    try {
        expected =
            1000LL * toolkit::StrToInt(readInterval) - 205LL * toolkit::StrToInt(stationCount);
    } catch (const toolkit::Failure&) {
        // An invalid number must fail the same way in the pause computation.
        try {
            config::computeCyclePause(readInterval, stationCount);
        } catch (const toolkit::Failure&) {
            return;
        }
        std::abort();
    }
    const int pause = config::computeCyclePause(readInterval, stationCount);
    if (expected <= 1)
        check(pause == 200);
    else
        check(pause == std::min<long long>(expected, std::numeric_limits<int>::max()));
}

} // namespace

// Any bytes as ConfigALL.txt: the 29 lines come out within their limits, survive being written
// and read again unchanged, and a bad number fails only with the standard failure.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ScratchFolder& folder = ScratchFolder::instance();
    const QString path = folder.path("ConfigALL.txt");
    ScratchFolder::write(
        path, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));

    const config::ConfigText text = config::readConfigFile(path);
    static_assert(std::tuple_size_v<config::ConfigText> == 29);
    for (const QString& current : text)
        check(current.size() <= config::kMaxLineChars && !current.contains(u'\n'));

    const QByteArray encoded = config::encodeConfig(text);
    check(encoded.count("\r\n") >= config::kConfigLines && encoded.endsWith("\r\n"));
    const QString again = folder.path("ConfigALL-again.txt");
    ScratchFolder::write(again, encoded);
    check(config::readConfigFile(again) == text);

    for (int station = 1; station <= 8; ++station)
        checkLogFileName(config::at(text, config::line::name(station)));
    checkCyclePause(text);
    return 0;
}
