#include "publish/mqtt_settings.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QSysInfo>

#include <sys/stat.h>

namespace publish {

namespace {

const QString kIntro = QStringLiteral("Publicação MQTT desligada: ");

std::optional<int> wholeNumber(const QVariant& value, int low, int high) {
    bool ok = false;
    const int number = value.toString().trimmed().toInt(&ok);
    if (!ok || number < low || number > high)
        return std::nullopt;
    return number;
}

// A topic level chosen by the user: no wildcard, no empty level.
bool goodPrefix(const QString& prefix) {
    if (prefix.isEmpty() || prefix.startsWith(u'/') || prefix.endsWith(u'/') ||
        prefix.contains(QStringLiteral("//")))
        return false;
    for (const QChar c : prefix) {
        if (c == u'+' || c == u'#' || c.unicode() < 0x20)
            return false;
    }
    return true;
}

} // namespace

SettingsResult readSettings(const QString& path) {
    if (!QFileInfo::exists(path))
        return {};
    QSettings ini(path, QSettings::IniFormat);
    if (ini.status() != QSettings::NoError)
        return {std::nullopt, kIntro + QStringLiteral("o arquivo %1 não pôde ser lido.").arg(path)};
    ini.beginGroup(QStringLiteral("mqtt"));
    MqttSettings s;
    s.host = ini.value(QStringLiteral("host")).toString().trimmed();
    if (s.host.isEmpty())
        return {};
    const auto fail = [&](const QString& why) {
        return SettingsResult{std::nullopt, kIntro + why};
    };

    if (ini.contains(QStringLiteral("port"))) {
        const auto port = wholeNumber(ini.value(QStringLiteral("port")), 1, 65535);
        if (!port)
            return fail(QStringLiteral("port deve ser um número de 1 a 65535 (em %1).").arg(path));
        s.port = *port;
    }
    if (ini.contains(QStringLiteral("keepalive"))) {
        const auto keepalive = wholeNumber(ini.value(QStringLiteral("keepalive")), 5, 3600);
        if (!keepalive)
            return fail(
                QStringLiteral("keepalive deve ser de 5 a 3600 segundos (em %1).").arg(path));
        s.keepaliveS = *keepalive;
    }
    s.prefix = ini.value(QStringLiteral("prefix"), s.prefix).toString().trimmed();
    if (!goodPrefix(s.prefix))
        return fail(
            QStringLiteral("prefix não pode ser vazio nem ter \"+\", \"#\" ou níveis vazios "
                           "(em %1).")
                .arg(path));
    s.discoveryPrefix =
        ini.value(QStringLiteral("discovery_prefix"), s.discoveryPrefix).toString().trimmed();
    if (!goodPrefix(s.discoveryPrefix))
        return fail(QStringLiteral("discovery_prefix não pode ser vazio nem ter \"+\", \"#\" ou "
                                   "níveis vazios (em %1).")
                        .arg(path));
    const QString discovery = ini.value(QStringLiteral("discovery"), QStringLiteral("false"))
                                  .toString()
                                  .trimmed()
                                  .toLower();
    if (discovery != u"true" && discovery != u"false")
        return fail(QStringLiteral("discovery deve ser true ou false (em %1).").arg(path));
    s.discovery = discovery == u"true";
    s.clientId = ini.value(QStringLiteral("client_id")).toString().trimmed();
    if (s.clientId.isEmpty())
        s.clientId = QStringLiteral("anemometros-") + QSysInfo::machineHostName();
    s.username = ini.value(QStringLiteral("username")).toString();

    const QString passwordFile = ini.value(QStringLiteral("password_file")).toString().trimmed();
    if (!passwordFile.isEmpty()) {
        struct stat info {};
        if (::stat(QFile::encodeName(passwordFile).constData(), &info) != 0 ||
            !S_ISREG(info.st_mode))
            return fail(QStringLiteral("o arquivo de senha %1 não existe.").arg(passwordFile));
        if (info.st_mode & (S_IRWXG | S_IRWXO))
            return fail(QStringLiteral("o arquivo de senha %1 pode ser lido por outros usuários; "
                                       "deixe-o só para o dono (chmod 600 %1).")
                            .arg(passwordFile));
        QFile file(passwordFile);
        if (!file.open(QIODevice::ReadOnly))
            return fail(
                QStringLiteral("o arquivo de senha %1 não pôde ser lido.").arg(passwordFile));
        s.password = QString::fromUtf8(file.readAll()).section(u'\n', 0, 0).remove(u'\r');
    }
    s.tlsCa = ini.value(QStringLiteral("tls_ca")).toString().trimmed();
    if (!s.tlsCa.isEmpty() && !QFileInfo(s.tlsCa).isReadable())
        return fail(QStringLiteral("o certificado tls_ca %1 não pôde ser lido.").arg(s.tlsCa));
    return {s, {}};
}

} // namespace publish
