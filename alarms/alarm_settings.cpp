#include "alarms/alarm_settings.h"

#include "alarms/wav_sound.h"

#include "toolkit/ini_text.h"
#include "toolkit/regular_file.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <optional>

namespace alarms {

namespace {

const QString kSound = QStringLiteral("som");
const QString kHighSound = QStringLiteral("som_alta");
const QString kMediumSound = QStringLiteral("som_media");
const QString kOpenWindow = QStringLiteral("abrir_janela");
const QString kNormalizeDelay = QStringLiteral("atraso_normalizar");
const QStringList kKeys{kSound, kHighSound, kMediumSound, kOpenWindow, kNormalizeDelay};

// The absolute path of a sound file, or why it cannot be played.
struct SoundFile {
    QString path;
    QString problem;
};

SoundFile soundFile(const QString& key, const QString& value, const QDir& stationDir) {
    const QString path = QDir::cleanPath(stationDir.absoluteFilePath(value));
    const toolkit::FileRead file = toolkit::readRegularFile(path, kMostSoundBytes);
    QString why;
    if (!file.ok())
        why = file.reason();
    else
        why = readWav(file.bytes).problem;
    if (why.isEmpty())
        return {path, {}};
    return {{},
            QStringLiteral("o arquivo %1 de %2 %3; toca o som do programa.").arg(path, key, why)};
}

// "a chave "volume" não existe; as chaves são som, som_alta, som_media, abrir_janela e
// atraso_normalizar."
QString unknownKeysSentence(const QStringList& keys) {
    return QStringLiteral("%1; as chaves são %2.")
        .arg(toolkit::unknownKeysText(keys), toolkit::listedText(kKeys));
}

} // namespace

AlarmSettingsResult readAlarmSettings(const QString& path) {
    const toolkit::IniFile ini = toolkit::readIniFile(path, kMostSettingsBytes);
    AlarmSettingsResult result = readAlarmSettings(ini);
    if (!ini.unreadable.isEmpty())
        result.error = QStringLiteral("Alarmes: o arquivo %1 não pôde ser lido: %2; valem os "
                                      "padrões (som ligado, a janela abre).")
                           .arg(path, ini.unreadable);
    return result;
}

AlarmSettingsResult readAlarmSettings(const toolkit::IniFile& ini) {
    AlarmSettingsResult result;
    const QString& path = ini.path;
    const toolkit::IniGroups& groups = ini.groups;
    const auto group = groups.find(QStringLiteral("alarmes"));
    if (group == groups.end())
        return result;

    const QDir stationDir = QFileInfo(path).absoluteDir();
    AlarmSettings& s = result.settings;
    QStringList problems;
    QStringList unknown;
    for (const toolkit::IniEntry& entry : group->second) {
        if (entry.key == kSound) {
            const auto on = toolkit::choiceOf(entry.value, toolkit::Words::OnOff);
            if (on)
                s.horn.on = *on;
            else
                problems << QStringLiteral("som deve ser ligado ou desligado, não \"%1\"; o "
                                           "alarme sonoro fica ligado.")
                                .arg(entry.value);
        } else if (entry.key == kOpenWindow) {
            const auto open = toolkit::choiceOf(entry.value, toolkit::Words::YesNo);
            if (open)
                s.openWindow = *open;
            else
                problems << QStringLiteral("abrir_janela deve ser sim ou não, não \"%1\"; a "
                                           "janela de alarmes abre.")
                                .arg(entry.value);
        } else if (entry.key == kNormalizeDelay) {
            if (const std::optional<int> seconds =
                    toolkit::wholeNumberIn(entry.value, 0, kMostNormalizeDelaySeconds))
                s.normalizeDelayMs = *seconds * qint64(1000);
            else
                problems << QStringLiteral("atraso_normalizar deve ser um número de segundos de 0 "
                                           "a %1, não \"%2\"; os alarmes voltam ao normal assim "
                                           "que a condição some.")
                                .arg(kMostNormalizeDelaySeconds)
                                .arg(entry.value);
        } else if (entry.key == kHighSound || entry.key == kMediumSound) {
            QString& sound = entry.key == kHighSound ? s.horn.highSound : s.horn.mediumSound;
            sound.clear();
            if (entry.value.isEmpty())
                continue;
            const SoundFile found = soundFile(entry.key, entry.value, stationDir);
            sound = found.path;
            if (!found.problem.isEmpty())
                problems << found.problem;
        } else if (!unknown.contains(entry.key)) {
            unknown << entry.key;
        }
    }
    if (!unknown.isEmpty())
        problems << unknownKeysSentence(unknown);
    if (!problems.isEmpty())
        result.error = QStringLiteral("Alarmes, no grupo [alarmes] de %1: %2")
                           .arg(path, toolkit::sentences(problems));
    return result;
}

} // namespace alarms
