#pragma once

#include <QByteArrayView>
#include <QStringView>

#include <array>
#include <optional>

// A reader of the small flat JSON objects the site view reads most often (a state per station
// every second): one pass over the bytes, no document built. It answers only for what it reads
// exactly as QJsonDocument would: one object whose members are strings without escapes, numbers,
// true, false or null, no name twice. For anything else it has no answer, and the caller reads
// the payload with QJsonDocument.
namespace publish::flat {

struct Value {
    enum class Type { Null, Bool, Number, String };
    Type type = Type::Null;
    bool flag = false;
    double number = 0;
    QByteArrayView text; // a string's UTF-8, between its quotes
};

inline constexpr int kMostMembers = 32;

struct Object {
    struct Member {
        QByteArrayView name;
        Value value;
    };
    std::array<Member, kMostMembers> members;
    int count = 0;

    // The member of that name (Latin-1 letters only); nullptr when there is none.
    const Value* find(QStringView name) const;
};

// None when `json` is not such an object (or holds more than kMostMembers members).
std::optional<Object> scan(QByteArrayView json);

// "2026-12-07T14:30:05-03:00", also with ".123" after the seconds or "Z" for the offset, in ms
// since 1970; none for any other form, which QDateTime reads.
std::optional<qint64> isoTimeMs(QStringView text);

} // namespace publish::flat
