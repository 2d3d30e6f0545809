#include "publish/flat_json.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>

namespace publish::flat {

namespace {

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// The length of the well-formed UTF-8 sequence at p of more than one byte (as Unicode's table
// of them says: no overlong form, no surrogate, nothing past U+10FFFF); 0 when it is not one.
int sequenceLength(const char* p, const char* end) {
    const auto at = [&](int i) { return p + i < end ? static_cast<unsigned char>(p[i]) : 0u; };
    const auto follows = [&](int i, unsigned low = 0x80, unsigned high = 0xBF) {
        return at(i) >= low && at(i) <= high;
    };
    const unsigned lead = at(0);
    if (lead >= 0xC2 && lead <= 0xDF)
        return follows(1) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        const unsigned low = lead == 0xE0 ? 0xA0 : 0x80;
        const unsigned high = lead == 0xED ? 0x9F : 0xBF;
        return follows(1, low, high) && follows(2) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        const unsigned low = lead == 0xF0 ? 0x90 : 0x80;
        const unsigned high = lead == 0xF4 ? 0x8F : 0xBF;
        return follows(1, low, high) && follows(2) && follows(3) ? 4 : 0;
    }
    return 0;
}

class Scanner {
public:
    explicit Scanner(QByteArrayView json) : p_(json.data()), end_(json.data() + json.size()) {}

    std::optional<Object> object() {
        Object read;
        skipSpace();
        if (!take('{'))
            return std::nullopt;
        skipSpace();
        if (!take('}')) {
            do {
                skipSpace();
                QByteArrayView name;
                if (read.count == kMostMembers || !string(name))
                    return std::nullopt;
                for (int i = 0; i < read.count; ++i) {
                    if (read.members[std::size_t(i)].name == name)
                        return std::nullopt; // QJsonDocument keeps one of them
                }
                skipSpace();
                Object::Member& member = read.members[std::size_t(read.count++)];
                member.name = name;
                if (!take(':') || !value(member.value))
                    return std::nullopt;
                skipSpace();
            } while (take(','));
            if (!take('}'))
                return std::nullopt;
        }
        skipSpace();
        return p_ == end_ ? std::optional<Object>(read) : std::nullopt;
    }

private:
    void skipSpace() {
        while (p_ < end_ && isSpace(*p_))
            ++p_;
    }

    bool take(char c) {
        if (p_ == end_ || *p_ != c)
            return false;
        ++p_;
        return true;
    }

    bool word(QByteArrayView expected) {
        if (QByteArrayView(p_, end_ - p_).startsWith(expected)) {
            p_ += expected.size();
            return true;
        }
        return false;
    }

    bool value(Value& into) {
        skipSpace();
        if (p_ == end_)
            return false;
        if (*p_ == '"') {
            into.type = Value::Type::String;
            return string(into.text);
        }
        if (word("true")) {
            into.type = Value::Type::Bool;
            into.flag = true;
            return true;
        }
        if (word("false")) {
            into.type = Value::Type::Bool;
            into.flag = false;
            return true;
        }
        if (word("null")) {
            into.type = Value::Type::Null;
            return true;
        }
        into.type = Value::Type::Number;
        return number(into.number);
    }

    // Plain text only: an escape or a control character is left to QJsonDocument.
    bool string(QByteArrayView& into) {
        if (!take('"'))
            return false;
        const char* start = p_;
        while (p_ < end_) {
            const auto c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                into = QByteArrayView(start, p_ - start);
                ++p_;
                return true;
            }
            if (c == '\\' || c < 0x20)
                return false;
            if (c < 0x80) {
                ++p_;
                continue;
            }
            const int length = sequenceLength(p_, end_);
            if (length == 0)
                return false;
            p_ += length;
        }
        return false;
    }

    // JSON's grammar of a number. Whole numbers are read as QJsonDocument reads them, into 64
    // bits and then a double; the others to the nearest double, as it does too. A zero written
    // with a fraction or an exponent, a subnormal and an infinity are left to it.
    bool number(double& into) {
        const char* start = p_;
        take('-');
        if (take('0')) {
        } else if (p_ < end_ && *p_ >= '1' && *p_ <= '9') {
            while (p_ < end_ && isDigit(*p_))
                ++p_;
        } else {
            return false;
        }
        bool whole = true;
        const auto digits = [this] {
            const char* first = p_;
            while (p_ < end_ && isDigit(*p_))
                ++p_;
            return p_ > first;
        };
        if (take('.')) {
            whole = false;
            if (!digits())
                return false;
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            whole = false;
            ++p_;
            if (!take('+'))
                take('-');
            if (!digits())
                return false;
        }
        if (whole) {
            std::int64_t n = 0;
            const auto [end, error] = std::from_chars(start, p_, n);
            if (error != std::errc() || end != p_)
                return false;
            into = double(n);
            return true;
        }
        const auto [end, error] = std::from_chars(start, p_, into);
        return error == std::errc() && end == p_ && std::isfinite(into) &&
               std::fabs(into) >= DBL_MIN;
    }

    const char* p_;
    const char* end_;
};

int daysInMonth(int year, int month) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

// Days from 1970-01-01 to that date of the proleptic Gregorian calendar, as QDate counts them.
qint64 daysFromCivil(int year, int month, int day) {
    year -= month <= 2 ? 1 : 0;
    const qint64 era = year / 400; // years from 1000 on: never negative
    const qint64 yearOfEra = year - era * 400;
    const qint64 dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const qint64 dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

} // namespace

const Value* Object::find(QStringView name) const {
    for (int i = 0; i < count; ++i) {
        const Member& member = members[std::size_t(i)];
        if (member.name.size() != name.size())
            continue;
        bool same = true;
        for (qsizetype c = 0; c < name.size() && same; ++c)
            same = static_cast<unsigned char>(member.name[c]) == name[c].unicode();
        if (same)
            return &member.value;
    }
    return nullptr;
}

std::optional<Object> scan(QByteArrayView json) {
    return Scanner(json).object();
}

std::optional<qint64> isoTimeMs(QStringView text) {
    const qsizetype size = text.size();
    const auto number = [&](qsizetype at, int digits, int& into) {
        into = 0;
        for (int i = 0; i < digits; ++i) {
            if (at + i >= size || text[at + i] < u'0' || text[at + i] > u'9')
                return false;
            into = into * 10 + (text[at + i].unicode() - u'0');
        }
        return true;
    };
    const auto is = [&](qsizetype at, char16_t c) { return at < size && text[at] == c; };
    int year, month, day, hour, minute, second;
    if (!number(0, 4, year) || !is(4, u'-') || !number(5, 2, month) || !is(7, u'-') ||
        !number(8, 2, day) || !is(10, u'T') || !number(11, 2, hour) || !is(13, u':') ||
        !number(14, 2, minute) || !is(16, u':') || !number(17, 2, second))
        return std::nullopt;
    qsizetype at = 19;
    int ms = 0;
    if (is(at, u'.')) {
        if (!number(at + 1, 3, ms) || (at + 4 < size && text[at + 4].isDigit()))
            return std::nullopt;
        at += 4;
    }
    int offsetMinutes = 0;
    if (is(at, u'Z')) {
        at += 1;
    } else if (is(at, u'+') || is(at, u'-')) {
        int offsetHours, minutes;
        if (!number(at + 1, 2, offsetHours) || !is(at + 3, u':') || !number(at + 4, 2, minutes) ||
            offsetHours > 13 || minutes > 59)
            return std::nullopt;
        offsetMinutes = (offsetHours * 60 + minutes) * (text[at] == u'-' ? -1 : 1);
        at += 6;
    } else {
        return std::nullopt; // a local time: the machine's zone says which
    }
    if (at != size || year < 1000 || month < 1 || month > 12 || day < 1 ||
        day > daysInMonth(year, month) || hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    const qint64 minutes = (daysFromCivil(year, month, day) * 24 + hour) * 60 + minute;
    return ((minutes - offsetMinutes) * 60 + second) * 1000 + ms;
}

} // namespace publish::flat
