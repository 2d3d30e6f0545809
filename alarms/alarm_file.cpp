#include "alarms/alarm_file.h"

#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/regular_file.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <optional>
#include <sys/stat.h>

namespace alarms {

namespace {

constexpr int kFormatVersion = 1;

// The state as the file keeps it; the shelving's end has a field of its own.
constexpr std::array<const char*, 4> kStateWords{"ATIVO", "RECONHECIDO", "NORMALIZADO",
                                                 "SUPRIMIDO"};

QJsonValue timeValue(qint64 ms) {
    if (ms == 0)
        return QJsonValue::Null;
    const QDateTime local = QDateTime::fromMSecsSinceEpoch(ms);
    // "2026-12-08T14:30:05.123-03:00": the local time with its offset, to the millisecond.
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::OffsetFromUTC, local.offsetFromUtc())
        .toString(Qt::ISODateWithMs);
}

QJsonValue textValue(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject entryObject(const Entry& entry) {
    QJsonObject object;
    object.insert(QStringLiteral("station"), entry.station);
    object.insert(QStringLiteral("alarm"), kindText(entry.kind));
    object.insert(QStringLiteral("priority"), priorityText(priorityOf(entry.kind)));
    object.insert(QStringLiteral("state"),
                  QLatin1String(kStateWords[static_cast<std::size_t>(entry.state)]));
    object.insert(QStringLiteral("active"), entry.active);
    object.insert(QStringLiteral("since"), timeValue(entry.sinceMs));
    object.insert(QStringLiteral("peak"),
                  entry.peak ? QJsonValue(*entry.peak) : QJsonValue(QJsonValue::Null));
    object.insert(QStringLiteral("unit"), textValue(entry.unit));
    object.insert(QStringLiteral("acknowledged_by"), textValue(entry.acknowledgedBy));
    object.insert(QStringLiteral("acknowledged_at"), timeValue(entry.acknowledgedAtMs));
    object.insert(QStringLiteral("shelved_until"), timeValue(entry.shelvedUntilMs));
    object.insert(QStringLiteral("repetitions"), entry.repetitions);
    object.insert(QStringLiteral("occurrence_since"), timeValue(entry.occurrenceMs));
    object.insert(QStringLiteral("occurrence_peak"), entry.occurrencePeak
                                                         ? QJsonValue(*entry.occurrencePeak)
                                                         : QJsonValue(QJsonValue::Null));
    return object;
}

// Reading stops at the first field that does not read; `problem` says which, for the message.
class EntryReader {
public:
    explicit EntryReader(const QJsonObject& object) : object_(object) {}

    std::optional<Entry> read() {
        Entry entry;
        const QJsonValue station = object_.value(QStringLiteral("station"));
        const std::optional<Kind> kind =
            kindFromText(object_.value(QStringLiteral("alarm")).toString());
        if (!station.isDouble() || !kind || !validStation(*kind, station.toInt(-1)))
            return fail(QStringLiteral("estação ou alarme"));
        entry.station = station.toInt();
        entry.kind = *kind;
        const QString state = object_.value(QStringLiteral("state")).toString();
        const auto word = std::find_if(kStateWords.begin(), kStateWords.end(),
                                       [&](const char* w) { return state == QLatin1String(w); });
        const QJsonValue active = object_.value(QStringLiteral("active"));
        if (word == kStateWords.end() || !active.isBool())
            return fail(QStringLiteral("estado"));
        entry.state = static_cast<State>(word - kStateWords.begin());
        entry.active = active.toBool();
        const bool stateFits =
            entry.state == State::Shelved || entry.active == (entry.state != State::Normalized);
        if (!stateFits)
            return fail(QStringLiteral("estado"));
        const QJsonValue repetitions = object_.value(QStringLiteral("repetitions"));
        if (!repetitions.isDouble() || repetitions.toInt(-1) < 0)
            return fail(QStringLiteral("repetições"));
        entry.repetitions = repetitions.toInt();
        if (!number(QStringLiteral("peak"), entry.peak) ||
            !number(QStringLiteral("occurrence_peak"), entry.occurrencePeak))
            return fail(QStringLiteral("pico"));
        if (!text(QStringLiteral("unit"), entry.unit) ||
            !text(QStringLiteral("acknowledged_by"), entry.acknowledgedBy))
            return fail(QStringLiteral("texto"));
        if (!time(QStringLiteral("since"), entry.sinceMs) || entry.sinceMs == 0 ||
            !time(QStringLiteral("acknowledged_at"), entry.acknowledgedAtMs) ||
            !time(QStringLiteral("shelved_until"), entry.shelvedUntilMs) ||
            !time(QStringLiteral("occurrence_since"), entry.occurrenceMs) ||
            (entry.state == State::Shelved) != (entry.shelvedUntilMs != 0))
            return fail(QStringLiteral("hora"));
        return entry;
    }

    const QString& problem() const { return problem_; }

private:
    std::nullopt_t fail(const QString& field) {
        problem_ = field;
        return std::nullopt;
    }

    bool text(const QString& field, QString& into) const {
        const QJsonValue value = object_.value(field);
        into = value.toString();
        return value.isNull() || value.isString();
    }

    // Null or missing (a file of an older version) is none.
    bool number(const QString& field, std::optional<double>& into) const {
        const QJsonValue value = object_.value(field);
        if (value.isNull() || value.isUndefined())
            return true;
        if (!value.isDouble() || !std::isfinite(value.toDouble()))
            return false;
        into = value.toDouble();
        return true;
    }

    bool time(const QString& field, qint64& into) const {
        const QJsonValue value = object_.value(field);
        if (value.isNull() || value.isUndefined())
            return true;
        const QDateTime at = QDateTime::fromString(value.toString(), Qt::ISODateWithMs);
        into = at.isValid() ? at.toMSecsSinceEpoch() : 0;
        return at.isValid();
    }

    const QJsonObject& object_;
    QString problem_;
};

AlarmFileRead damaged(const QString& name, const QString& why) {
    return {
        {},
        QStringLiteral("%1 está danificado (%2); a lista de alarmes começa vazia.").arg(name, why)};
}

} // namespace

QByteArray encodeAlarms(const QList<Entry>& entries) {
    QJsonArray list;
    for (const Entry& entry : entries)
        list.append(entryObject(entry));
    QJsonObject root;
    root.insert(QStringLiteral("version"), kFormatVersion);
    root.insert(QStringLiteral("alarms"), list);
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

AlarmFileRead decodeAlarms(const QByteArray& bytes, const QString& name) {
    if (bytes.trimmed().isEmpty())
        return {{}, QStringLiteral("%1 está vazio; a lista de alarmes começa vazia.").arg(name)};
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError)
        return damaged(name, QStringLiteral("JSON inválido na posição %1").arg(parse.offset));
    const QJsonObject root = document.object();
    if (root.value(QStringLiteral("version")).toInt() != kFormatVersion ||
        !root.value(QStringLiteral("alarms")).isArray())
        return damaged(name, QStringLiteral("versão ou lista"));
    AlarmFileRead result;
    const QJsonArray list = root.value(QStringLiteral("alarms")).toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QJsonObject object = list.at(i).toObject();
        EntryReader reader(object);
        const std::optional<Entry> entry = reader.read();
        if (!entry)
            return damaged(name, QStringLiteral("alarme %1: %2").arg(i + 1).arg(reader.problem()));
        for (const Entry& before : std::as_const(result.entries)) {
            if (before.key() == entry->key())
                return damaged(name, QStringLiteral("alarme %1 repetido").arg(i + 1));
        }
        result.entries.append(*entry);
    }
    return result;
}

AlarmFileRead readAlarmFile(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const toolkit::FileRead file = toolkit::readRegularFile(path, kMostAlarmFileBytes);
    if (file.outcome == toolkit::FileRead::Outcome::Missing)
        return {};
    if (!file.ok())
        return {{},
                QStringLiteral("%1 não pôde ser lido: %2; a lista de alarmes começa vazia.")
                    .arg(name, file.reason())};
    return decodeAlarms(file.bytes, name);
}

void writeAlarmFile(const QString& path, const QList<Entry>& entries) {
    // The report names the file: the operator has to find which one cannot be written.
    const QString name = QFileInfo(path).fileName();
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0 && !S_ISREG(info.st_mode))
        throw toolkit::Failure(QStringLiteral("%1 não pôde ser gravado: %2.")
                                   .arg(name, S_ISDIR(info.st_mode)
                                                  ? QStringLiteral("é uma pasta")
                                                  : QStringLiteral("não é um arquivo comum")));
    try {
        toolkit::replaceFileContents(path, encodeAlarms(entries));
    } catch (const toolkit::Failure& failure) {
        throw toolkit::Failure(
            QStringLiteral("%1 não pôde ser gravado (%2).").arg(name, failure.text()));
    }
}

} // namespace alarms
