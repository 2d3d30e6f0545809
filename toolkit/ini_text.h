#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <map>
#include <optional>
#include <vector>

namespace toolkit {

// One "key=value" line of an INI text.
struct IniEntry {
    QString key; // in lower case
    QString value;
    int line = 0; // 1-based
};

// Group names, in lower case, with their entries in file order ("general" for the lines
// before the first group). Names are matched without regard to case; a line without "=" is an
// entry whose key is the whole line and whose value is empty.
using IniGroups = std::map<QString, std::vector<IniEntry>>;

// Not QSettings: its reader takes keys with their case, reports neither the line of a bad
// entry nor an unknown key, and treats "," as a list separator in values.
// UTF-8 text, CR LF or LF. Blank lines and lines starting with ";" or "#" are skipped, blanks
// around names and values are dropped, a value in double quotes keeps what is inside them,
// and outside quotes ";" begins a comment.
IniGroups parseIni(const QByteArray& bytes);

// The program's settings file beside ConfigALL.txt, and the most it may hold.
inline const QString kSettingsFile = QStringLiteral("anemometros.ini");
inline constexpr qint64 kMostSettingsBytes = 64 * 1024;

// An INI file read once, for every group's reader: its groups, or why it could not be read
// ("é uma pasta", "não é um arquivo comum", ...). A missing file is neither: every group keeps
// its defaults.
struct IniFile {
    QString path;
    IniGroups groups;
    QString unreadable;
};
// Never waits: a FIFO or a device is not read, nor a file past maxBytes.
IniFile readIniFile(const QString& path, qint64 maxBytes = kMostSettingsBytes);

// The words a yes-or-no key takes, each pair in any case: "sim"/"não" (or "nao"),
// "true"/"false", "ligado"/"desligado".
enum class Words { YesNo, TrueFalse, OnOff };
// true or false as the value says it, nothing for any other word.
std::optional<bool> choiceOf(const QString& value, Words words);

// A group's entries split into the values of the keys it knows (the last one of a key given
// twice) and the keys it does not know, each named once, in file order.
struct GroupValues {
    QHash<QString, QString> values;
    QStringList unknown;
};
GroupValues groupValues(const std::vector<IniEntry>& entries, const QStringList& keys);

// A whole number from low to high, blanks around it allowed; nothing for anything else.
std::optional<int> wholeNumberIn(const QString& value, int low, int high);

// What a message about a group's unknown keys says of them: "a chave "prot" não existe", "as
// chaves "prot" e "prefx" não existem".
QString unknownKeysText(const QStringList& keys);
// "host, port e prefix".
QString listedText(const QStringList& items);
// The text with its first letter in capitals: "Conexão recusada, ...".
QString sentenceStart(const QString& text);
// Sentences one after the other, each after the first beginning with a capital letter: the
// first follows a colon in the messages that list a group's problems.
QString sentences(const QStringList& items);

} // namespace toolkit
