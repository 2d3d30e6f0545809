#include "alarms/alarm_file.h"

#include "alarms/alarm_json.h"
#include "toolkit/failure.h"
#include "toolkit/file_replace.h"
#include "toolkit/os_files.h"
#include "toolkit/regular_file.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>

namespace alarms {

namespace {

constexpr int kFormatVersion = 1;

AlarmFileRead damaged(const QString& name, const QString& why) {
    return {
        {},
        QStringLiteral("%1 está danificado (%2); a lista de alarmes começa vazia.").arg(name, why)};
}

} // namespace

QByteArray encodeAlarms(const QList<Entry>& entries) {
    QJsonArray list;
    for (const Entry& entry : entries)
        list.append(json::write(entry, json::Form::File));
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
        const json::Read read = json::read(list.at(i).toObject(), json::Form::File);
        const std::optional<Entry>& entry = read.entry;
        if (!entry)
            return damaged(name, QStringLiteral("alarme %1: %2").arg(i + 1).arg(read.problem));
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
    os::Stat info{};
    if (os::stat(path.toUtf8().constData(), &info) == 0 && !S_ISREG(info.st_mode))
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
