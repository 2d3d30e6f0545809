#include "history/log_reader.h"

#include "modbus/vocabulary.h"
#include "toolkit/day_text.h"

#include <QRegularExpression>

#include <array>
#include <cstring>
#include <string_view>

namespace history {

namespace {

// A decimal with a comma, e.g. "12,3" with one decimal: the value in tenths (hundredths for
// two decimals). Digits, one comma, exactly `decimals` digits after it, up to 65535.
bool readDecimal(const char*& p, const char* end, int decimals, std::uint16_t& out) {
    std::uint32_t value = 0;
    int before = 0;
    while (p < end && *p >= '0' && *p <= '9' && before < 6) {
        value = value * 10 + std::uint32_t(*p++ - '0');
        ++before;
    }
    if (before == 0 || p >= end || *p++ != ',')
        return false;
    for (int i = 0; i < decimals; ++i) {
        if (p >= end || *p < '0' || *p > '9')
            return false;
        value = value * 10 + std::uint32_t(*p++ - '0');
    }
    if (value > 0xFFFF)
        return false;
    out = static_cast<std::uint16_t>(value);
    return true;
}

bool expect(const char*& p, const char* end, char c) {
    if (p >= end || *p != c)
        return false;
    ++p;
    return true;
}

bool readTwoDigits(const char*& p, const char* end, int& out) {
    if (end - p < 2 || p[0] < '0' || p[0] > '9' || p[1] < '0' || p[1] > '9')
        return false;
    out = (p[0] - '0') * 10 + (p[1] - '0');
    p += 2;
    return true;
}

// The compass names as the log writes them: station 1 unpadded, the others padded to three.
int compassCode(std::string_view name) {
    while (!name.empty() && name.back() == ' ')
        name.remove_suffix(1);
    return modbus::compassCode(name);
}

QString unitOfHeader(std::string_view header) {
    constexpr std::string_view start = "HORA;VELOCIDADE(";
    if (header.substr(0, start.size()) != start)
        return {};
    header.remove_prefix(start.size());
    const auto close = header.find(')');
    return close == std::string_view::npos ? QString()
                                           : QString::fromLatin1(header.data(), qsizetype(close));
}

} // namespace

bool parseLine(const char* p, const char* end, Sample& sample) {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
    if (!readTwoDigits(p, end, hours) || !expect(p, end, ':') || !readTwoDigits(p, end, minutes) ||
        !expect(p, end, ':') || !readTwoDigits(p, end, seconds) || !expect(p, end, ';') ||
        hours > 23 || minutes > 59 || seconds > 59)
        return false;
    sample.secondOfDay = hours * 3600 + minutes * 60 + seconds;

    constexpr std::string_view overLimit = modbus::kOverLimitText;
    if (std::size_t(end - p) > overLimit.size() &&
        std::memcmp(p, overLimit.data(), overLimit.size()) == 0) {
        sample.speed = Sample::kOverLimit;
        p += overLimit.size();
    } else if (!readDecimal(p, end, 1, sample.speed)) {
        return false;
    }
    if (!expect(p, end, ';'))
        return false;

    const char* direction = p;
    while (p < end && *p != ';')
        ++p;
    const std::string_view name(direction, std::size_t(p - direction));
    if (name == "---") {
        sample.direction = Sample::kNoDirection;
    } else {
        const int code = compassCode(name);
        if (code < 0)
            return false;
        sample.direction = std::int8_t(code);
    }
    // Presets out of range show as "> LIMITE" too; they are not needed past the alarm levels.
    const auto preset = [&](std::uint16_t& out) {
        if (std::size_t(end - p) > overLimit.size() &&
            std::memcmp(p, overLimit.data(), overLimit.size()) == 0) {
            out = Sample::kOverLimit;
            p += overLimit.size();
            return true;
        }
        return readDecimal(p, end, 1, out);
    };
    if (!expect(p, end, ';') || !preset(sample.preset1) || !expect(p, end, ';') ||
        !preset(sample.preset2) || !expect(p, end, ';'))
        return false;
    if (end - p >= 3 && std::memcmp(p, "OFF", 3) == 0) {
        sample.sound = false;
        p += 3;
    } else if (end - p >= 2 && std::memcmp(p, "ON", 2) == 0) {
        sample.sound = true;
        p += 2;
        if (p < end && *p == ' ')
            ++p;
    } else {
        return false;
    }
    if (!expect(p, end, ';') || !readDecimal(p, end, 2, sample.battery) || !expect(p, end, ';'))
        return false;
    return p == end;
}

DayLog readLog(const QByteArray& bytes) {
    DayLog log;
    const char* p = bytes.constData();
    const char* const end = p + bytes.size();
    log.samples.reserve(std::size_t(bytes.size() / 38 + 1));
    bool first = true;
    while (p < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', std::size_t(end - p)));
        const bool complete = lineEnd != nullptr;
        if (!complete)
            lineEnd = end;
        const char* textEnd = lineEnd;
        if (textEnd > p && textEnd[-1] == '\r')
            --textEnd;
        if (first && textEnd - p >= 5 && std::memcmp(p, "HORA;", 5) == 0) {
            log.unit = unitOfHeader(std::string_view(p, std::size_t(textEnd - p)));
        } else if (textEnd > p) {
            Sample sample;
            // A last line without its line end may still be being written: not a reading yet.
            if (complete && parseLine(p, textEnd, sample))
                log.samples.push_back(sample);
            else
                ++log.skipped;
        }
        first = false;
        p = complete ? lineEnd + 1 : end;
    }
    return log;
}

LogName parseLogName(const QString& fileName) {
    static const QRegularExpression pattern(
        QStringLiteral("^(\\d\\d-\\d\\d-\\d\\d\\d\\d) (.+)\\.txt$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    if (!match.hasMatch())
        return {};
    return {toolkit::dayFromText(match.captured(1)), match.captured(2)};
}

} // namespace history
