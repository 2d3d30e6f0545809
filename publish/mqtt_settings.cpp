#include "publish/mqtt_settings.h"

#include "publish/tls_context.h"
#include "toolkit/ini_text.h"
#include "toolkit/regular_file.h"

#include <QHash>
#include <QStringList>
#include <QSysInfo>

namespace publish {

namespace {

const QStringList kKeys{
    "host",   "port",      "prefix",    "client_id",        "username",          "password_file",
    "tls_ca", "keepalive", "discovery", "discovery_prefix", "reconhecer_remoto", "prefixos"};

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

// "a chave "prot" não existe no grupo [mqtt] de <path>; as chaves são host, port, ...".
QString unknownKeysSentence(const QStringList& keys, const QString& path) {
    return QStringLiteral("%1 no grupo [mqtt] de %2; as chaves são %3.")
        .arg(toolkit::unknownKeysText(keys), path, toolkit::listedText(kKeys));
}

} // namespace

SettingsResult readSettings(const QString& path, const QString& intro) {
    return readSettings(toolkit::readIniFile(path, kMostSettingsBytes), intro);
}

SettingsResult readSettings(const toolkit::IniFile& ini, const QString& intro) {
    const auto fail = [&intro](const QString& why) {
        return SettingsResult{std::nullopt, intro + why};
    };
    const QString& path = ini.path;
    if (!ini.unreadable.isEmpty())
        return fail(
            QStringLiteral("o arquivo %1 não pôde ser lido: %2.").arg(path, ini.unreadable));
    const toolkit::IniGroups& groups = ini.groups;
    const auto group = groups.find(QStringLiteral("mqtt"));
    if (group == groups.end())
        return {};
    const auto [values, unknown] = toolkit::groupValues(group->second, kKeys);
    if (!unknown.isEmpty())
        return fail(unknownKeysSentence(unknown, path));

    MqttSettings s;
    s.host = values.value(QStringLiteral("host"));
    if (s.host.isEmpty())
        return {};
    if (values.contains(QStringLiteral("port"))) {
        const auto port = toolkit::wholeNumberIn(values.value(QStringLiteral("port")), 1, 65535);
        if (!port)
            return fail(QStringLiteral("port deve ser um número de 1 a 65535 (em %1).").arg(path));
        s.port = *port;
    }
    if (values.contains(QStringLiteral("keepalive"))) {
        const auto keepalive =
            toolkit::wholeNumberIn(values.value(QStringLiteral("keepalive")), 5, 3600);
        if (!keepalive)
            return fail(
                QStringLiteral("keepalive deve ser de 5 a 3600 segundos (em %1).").arg(path));
        s.keepaliveS = *keepalive;
    }
    s.prefix = values.value(QStringLiteral("prefix"), s.prefix);
    if (!goodPrefix(s.prefix))
        return fail(
            QStringLiteral("prefix não pode ser vazio nem ter \"+\", \"#\" ou níveis vazios "
                           "(em %1).")
                .arg(path));
    for (const QString& listed : values.value(QStringLiteral("prefixos")).split(u',')) {
        const QString prefix = listed.trimmed();
        if (prefix.isEmpty() || s.prefixes.contains(prefix))
            continue;
        if (!goodPrefix(prefix))
            return fail(QStringLiteral("o prefixo \"%1\" de prefixos não pode ter \"+\", \"#\" ou "
                                       "níveis vazios (em %2).")
                            .arg(prefix, path));
        s.prefixes << prefix;
    }
    if (s.prefixes.isEmpty())
        s.prefixes << s.prefix;
    s.discoveryPrefix = values.value(QStringLiteral("discovery_prefix"), s.discoveryPrefix);
    if (!goodPrefix(s.discoveryPrefix))
        return fail(QStringLiteral("discovery_prefix não pode ser vazio nem ter \"+\", \"#\" ou "
                                   "níveis vazios (em %1).")
                        .arg(path));
    const std::optional<bool> discovery =
        toolkit::choiceOf(values.value(QStringLiteral("discovery"), QStringLiteral("false")),
                          toolkit::Words::TrueFalse);
    if (!discovery)
        return fail(QStringLiteral("discovery deve ser true ou false (em %1).").arg(path));
    s.discovery = *discovery;
    const std::optional<bool> remoteAck = toolkit::choiceOf(
        values.value(QStringLiteral("reconhecer_remoto"), QStringLiteral("false")),
        toolkit::Words::TrueFalse);
    if (!remoteAck)
        return fail(QStringLiteral("reconhecer_remoto deve ser true ou false (em %1).").arg(path));
    s.remoteAck = *remoteAck;
    s.clientId = values.value(QStringLiteral("client_id"));
    if (s.clientId.isEmpty())
        s.clientId = QStringLiteral("anemometros-") + QSysInfo::machineHostName();
    s.username = values.value(QStringLiteral("username"));

    const QString passwordFile = values.value(QStringLiteral("password_file"));
    if (!passwordFile.isEmpty()) {
        const QString why = toolkit::readPasswordFile(passwordFile, kMostSettingsBytes, s.password);
        if (!why.isEmpty())
            return fail(why + u'.');
    }
    s.tlsCa = values.value(QStringLiteral("tls_ca"));
    if (!s.tlsCa.isEmpty()) {
        // Read again by the client when it starts; libmosquitto never opens it.
        const toolkit::FileRead ca = toolkit::readRegularFile(s.tlsCa, kMostCaBytes);
        if (!ca.ok())
            return fail(QStringLiteral("o certificado tls_ca %1 não pôde ser lido: %2.")
                            .arg(s.tlsCa, ca.reason()));
        if (certificateCount(ca.bytes) == 0)
            return fail(QStringLiteral("o arquivo tls_ca %1 não tem nenhum certificado em formato "
                                       "PEM.")
                            .arg(s.tlsCa));
    }
    return {s, {}};
}

} // namespace publish
