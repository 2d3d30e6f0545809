#include "alarms/alarm_json.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cmath>

namespace alarms::json {

namespace {

// The state by its word; a shelving's end has a field of its own.
constexpr std::array<const char*, 4> kStateWords{"ATIVO", "RECONHECIDO", "NORMALIZADO",
                                                 "SUPRIMIDO"};

QJsonValue textValue(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonValue numberValue(const std::optional<double>& number) {
    return number ? QJsonValue(*number) : QJsonValue(QJsonValue::Null);
}

// Reading stops at the first field that does not read; `problem` says which.
class EntryReader {
public:
    EntryReader(const QJsonObject& object, Form form) : object_(object), form_(form) {}

    Read read(int station) {
        Entry entry;
        if (form_ == Form::File) {
            const QJsonValue value = object_.value(field::kStation);
            station = value.isDouble() ? value.toInt(-1) : -1;
        }
        const std::optional<Kind> kind = kindFromText(object_.value(field::kAlarm).toString());
        if (!kind || !validStation(*kind, station))
            return fail(QStringLiteral("estação ou alarme"));
        entry.station = station;
        entry.kind = *kind;
        const QString state = object_.value(field::kState).toString();
        const auto word = std::find_if(kStateWords.begin(), kStateWords.end(),
                                       [&](const char* w) { return state == QLatin1String(w); });
        if (word == kStateWords.end())
            return fail(QStringLiteral("estado"));
        entry.state = static_cast<State>(word - kStateWords.begin());
        if (!condition(entry))
            return fail(QStringLiteral("estado"));
        const QJsonValue repetitions = object_.value(field::kRepetitions);
        if (!(repetitions.isDouble() && repetitions.toInt(-1) >= 0) &&
            !(form_ == Form::Broker && repetitions.isUndefined()))
            return fail(QStringLiteral("repetições"));
        entry.repetitions = std::max(repetitions.toInt(), 0);
        if (!number(field::kPeak, entry.peak) ||
            !number(field::kOccurrencePeak, entry.occurrencePeak))
            return fail(QStringLiteral("pico"));
        if (!text(field::kUnit, entry.unit) || !text(field::kAcknowledgedBy, entry.acknowledgedBy))
            return fail(QStringLiteral("texto"));
        if (!time(field::kSince, entry.sinceMs) ||
            !time(field::kAcknowledgedAt, entry.acknowledgedAtMs) ||
            !time(field::kShelvedUntil, entry.shelvedUntilMs) ||
            !time(field::kOccurrenceSince, entry.occurrenceMs) ||
            (form_ == Form::File && (entry.sinceMs == 0 || (entry.state == State::Shelved) !=
                                                               (entry.shelvedUntilMs != 0))))
            return fail(QStringLiteral("hora"));
        return {entry, {}};
    }

private:
    // The file says whether the condition is there; a list on the broker says it by the state
    // (ATIVO and RECONHECIDO are active, NORMALIZADO is not).
    bool condition(Entry& entry) const {
        if (form_ == Form::Broker) {
            entry.active = entry.state == State::Active || entry.state == State::Acknowledged;
            return true;
        }
        const QJsonValue active = object_.value(field::kActive);
        if (!active.isBool())
            return false;
        entry.active = active.toBool();
        return entry.state == State::Shelved || entry.active == (entry.state != State::Normalized);
    }

    Read fail(const QString& what) { return {std::nullopt, what}; }

    // Null or missing is none.
    bool number(const QString& name, std::optional<double>& into) const {
        const QJsonValue value = object_.value(name);
        if (value.isNull() || value.isUndefined())
            return true;
        if (!value.isDouble() || !std::isfinite(value.toDouble()))
            return false;
        into = value.toDouble();
        return true;
    }

    bool text(const QString& name, QString& into) const {
        const QJsonValue value = object_.value(name);
        into = value.toString();
        return value.isNull() || value.isUndefined() || value.isString();
    }

    bool time(const QString& name, qint64& into) const {
        const std::optional<qint64> read = timeOf(object_.value(name));
        into = read.value_or(0);
        return read.has_value();
    }

    const QJsonObject& object_;
    Form form_;
};

} // namespace

QJsonValue timeValue(qint64 ms, Form form) {
    if (ms == 0)
        return QJsonValue::Null;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    // Not Qt::ISODate of the local time itself: Qt 6.4 leaves the offset out of a local time and
    // writes "Z" for UTC; in a zone of that fixed offset it writes "+00:00".
    const QDateTime withOffset = local.toTimeZone(QTimeZone(local.offsetFromUtc()));
    return withOffset.toString(form == Form::File ? Qt::ISODateWithMs : Qt::ISODate);
}

std::optional<qint64> timeOf(const QJsonValue& value) {
    if (value.isNull() || value.isUndefined())
        return 0;
    if (!value.isString())
        return std::nullopt;
    const QDateTime at = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
    if (!at.isValid())
        return std::nullopt;
    return at.toMSecsSinceEpoch();
}

QJsonObject write(const Entry& entry, Form form) {
    const bool shelved = entry.state == State::Shelved;
    QJsonObject object;
    object.insert(field::kAlarm, kindText(entry.kind));
    object.insert(field::kPriority, priorityText(priorityOf(entry.kind)));
    object.insert(field::kState, QLatin1String(kStateWords[static_cast<std::size_t>(entry.state)]));
    object.insert(field::kSince, timeValue(entry.sinceMs, form));
    object.insert(field::kPeak, numberValue(entry.peak));
    object.insert(field::kAcknowledgedBy, textValue(entry.acknowledgedBy));
    object.insert(field::kAcknowledgedAt, timeValue(entry.acknowledgedAtMs, form));
    object.insert(field::kRepetitions, entry.repetitions);
    if (form == Form::Broker) {
        // As the list shows them: a unit beside a peak, an end of shelving while shelved.
        object.insert(field::kUnit, textValue(entry.peak ? entry.unit : QString()));
        object.insert(field::kShelvedUntil, timeValue(shelved ? entry.shelvedUntilMs : 0, form));
        return object;
    }
    object.insert(field::kStation, entry.station);
    object.insert(field::kActive, entry.active);
    object.insert(field::kUnit, textValue(entry.unit));
    object.insert(field::kShelvedUntil, timeValue(entry.shelvedUntilMs, form));
    object.insert(field::kOccurrenceSince, timeValue(entry.occurrenceMs, form));
    object.insert(field::kOccurrencePeak, numberValue(entry.occurrencePeak));
    return object;
}

Read read(const QJsonObject& object, Form form, int station) {
    return EntryReader(object, form).read(station);
}

} // namespace alarms::json
