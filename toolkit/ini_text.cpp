#include "toolkit/ini_text.h"

#include "toolkit/regular_file.h"

#include <QStringList>

namespace toolkit {

namespace {

QString valueOf(QString text) {
    text = text.trimmed();
    if (text.size() >= 2 && text.startsWith(u'"')) {
        const qsizetype end = text.indexOf(u'"', 1);
        if (end > 0)
            return text.mid(1, end - 1);
    }
    const qsizetype comment = text.indexOf(u';');
    if (comment >= 0)
        text.truncate(comment);
    return text.trimmed();
}

} // namespace

IniGroups parseIni(const QByteArray& bytes) {
    IniGroups groups;
    QString group = QStringLiteral("general");
    QString text = QString::fromUtf8(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2).trimmed().toLower();
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        IniEntry entry;
        entry.line = int(i + 1);
        entry.key = (equals < 0 ? line : line.left(equals)).trimmed().toLower();
        if (equals >= 0)
            entry.value = valueOf(line.mid(equals + 1));
        groups[group].push_back(entry);
    }
    return groups;
}

IniFile readIniFile(const QString& path, qint64 maxBytes) {
    const FileRead file = readRegularFile(path, maxBytes);
    if (file.outcome == FileRead::Outcome::Missing)
        return {path, {}, {}};
    if (!file.ok())
        return {path, {}, file.reason()};
    return {path, parseIni(file.bytes), {}};
}

GroupValues groupValues(const std::vector<IniEntry>& entries, const QStringList& keys) {
    GroupValues group;
    for (const IniEntry& entry : entries) {
        if (keys.contains(entry.key))
            group.values.insert(entry.key, entry.value);
        else if (!group.unknown.contains(entry.key))
            group.unknown << entry.key;
    }
    return group;
}

std::optional<int> wholeNumberIn(const QString& value, int low, int high) {
    bool ok = false;
    const int number = value.trimmed().toInt(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

std::optional<bool> choiceOf(const QString& value, Words words) {
    static const struct {
        QStringList yes;
        QStringList no;
    } kWords[]{
        {{QStringLiteral("sim")}, {QStringLiteral("não"), QStringLiteral("nao")}},
        {{QStringLiteral("true")}, {QStringLiteral("false")}},
        {{QStringLiteral("ligado")}, {QStringLiteral("desligado")}},
    };
    const auto& pair = kWords[static_cast<int>(words)];
    const QString word = value.toLower();
    if (pair.yes.contains(word))
        return true;
    if (pair.no.contains(word))
        return false;
    return std::nullopt;
}

QString unknownKeysText(const QStringList& keys) {
    QStringList quoted;
    for (const QString& key : keys)
        quoted << u'"' + key + u'"';
    return quoted.size() == 1 ? QStringLiteral("a chave %1 não existe").arg(quoted[0])
                              : QStringLiteral("as chaves %1 não existem").arg(listedText(quoted));
}

QString listedText(const QStringList& items) {
    if (items.size() < 2)
        return items.value(0);
    return QStringLiteral("%1 e %2").arg(items.mid(0, items.size() - 1).join(QStringLiteral(", ")),
                                         items.last());
}

QString sentenceStart(const QString& text) {
    return text.left(1).toUpper() + text.mid(1);
}

QString sentences(const QStringList& items) {
    QString text;
    for (const QString& item : items) {
        if (text.isEmpty()) {
            text = item;
            continue;
        }
        text += u' ' + sentenceStart(item);
    }
    return text;
}

} // namespace toolkit
