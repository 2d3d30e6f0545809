#include "archive/archive_settings.h"

#include "toolkit/regular_file.h"

#include <QHash>
#include <QUrl>


namespace archive {

namespace {

const QStringList kKeys{"url", "local", "usuario", "senha_arquivo", "tls_ca", "fila_max_mb"};
constexpr qint64 kMostCaBytes = 1024 * 1024;

bool hasControl(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x20; });
}

// Why a value is bad, or nothing.
QString readInto(const QHash<QString, QString>& values, ArchiveSettings& s) {
    const QString text = values.value(QStringLiteral("url"));
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https") ||
        url.hasQuery() || url.hasFragment() || !url.userInfo().isEmpty())
        return QStringLiteral("url deve ser o endereço do banco de dados, começando com http:// "
                              "ou https:// (http://servidor:8428), sem usuário, senha nem "
                              "\"?\", não \"%1\"")
            .arg(url.userInfo().isEmpty() ? text : url.toString(QUrl::RemoveUserInfo));
    s.url = text.endsWith(u'/') ? text.chopped(1) : text;

    if (values.contains(QStringLiteral("local"))) {
        const QString site = values.value(QStringLiteral("local")).trimmed();
        if (site.isEmpty() || hasControl(site))
            return QStringLiteral("local não pode ser vazio");
        s.site = site;
    }
    if (values.contains(QStringLiteral("fila_max_mb"))) {
        bool ok = false;
        const int mb = values.value(QStringLiteral("fila_max_mb")).trimmed().toInt(&ok);
        if (!ok || mb < 1 || mb > kMostQueueMb)
            return QStringLiteral("fila_max_mb deve ser um número de 1 a %1, não \"%2\"")
                .arg(kMostQueueMb)
                .arg(values.value(QStringLiteral("fila_max_mb")));
        s.queueMostBytes = qint64(mb) * 1024 * 1024;
    }

    s.user = values.value(QStringLiteral("usuario"));
    const QString passwordFile = values.value(QStringLiteral("senha_arquivo"));
    if (s.user.isEmpty() != passwordFile.isEmpty())
        return QStringLiteral("usuario e senha_arquivo vão juntos");
    if (!passwordFile.isEmpty()) {
        const QString why =
            toolkit::readPasswordFile(passwordFile, toolkit::kMostSettingsBytes, s.password);
        if (!why.isEmpty())
            return why;
    }

    s.tlsCa = values.value(QStringLiteral("tls_ca"));
    if (!s.tlsCa.isEmpty()) {
        const toolkit::FileRead ca = toolkit::readRegularFile(s.tlsCa, kMostCaBytes);
        if (!ca.ok())
            return QStringLiteral("o certificado tls_ca %1 não pôde ser lido: %2")
                .arg(s.tlsCa, ca.reason());
        if (!ca.bytes.contains("-----BEGIN CERTIFICATE-----"))
            return QStringLiteral("o arquivo tls_ca %1 não tem nenhum certificado em formato PEM")
                .arg(s.tlsCa);
        if (scheme != u"https")
            return QStringLiteral("tls_ca só vale com uma url https://");
    }
    return {};
}

} // namespace

ArchiveSettingsResult readArchiveSettings(const toolkit::IniFile& ini, const QString& defaultSite) {
    const auto fail = [&ini](const QString& why) {
        return ArchiveSettingsResult{
            std::nullopt,
            QStringLiteral("Arquivo do local desligado, no grupo [arquivo] de %1: %2.")
                .arg(ini.path, why)};
    };
    if (!ini.unreadable.isEmpty())
        return {};
    const auto group = ini.groups.find(QStringLiteral("arquivo"));
    if (group == ini.groups.end())
        return {};
    const auto [values, unknown] = toolkit::groupValues(group->second, kKeys);
    if (!unknown.isEmpty())
        return fail(QStringLiteral("%1; as chaves são %2")
                        .arg(toolkit::unknownKeysText(unknown), toolkit::listedText(kKeys)));
    if (values.value(QStringLiteral("url")).isEmpty())
        return {};
    ArchiveSettings s;
    s.site = defaultSite;
    if (const QString why = readInto(values, s); !why.isEmpty())
        return fail(why);
    return {s, {}};
}

} // namespace archive
