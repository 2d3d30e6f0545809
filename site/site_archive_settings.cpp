#include "site/site_archive_settings.h"

#include "toolkit/regular_file.h"

#include <QHash>
#include <QSslCertificate>
#include <QStringList>
#include <QUrl>

#include <sys/stat.h>

namespace site {

namespace {

const QStringList kKeys{"url", "local", "usuario", "senha_arquivo", "tls_ca", "fila_max_mb"};
constexpr qint64 kMostCaBytes = 1024 * 1024;
const QString kIntro = QStringLiteral("Histórico do local desligado: ");

} // namespace

ArchiveReadResult readArchiveSettings(const toolkit::IniFile& ini) {
    const auto fail = [](const QString& why) {
        return ArchiveReadResult{std::nullopt, kIntro + why};
    };
    const QString& path = ini.path;
    const auto group = ini.groups.find(QStringLiteral("arquivo"));
    if (!ini.unreadable.isEmpty() || group == ini.groups.end())
        return {};
    QHash<QString, QString> values;
    QStringList unknown;
    for (const toolkit::IniEntry& entry : group->second) {
        if (!kKeys.contains(entry.key)) {
            if (!unknown.contains(entry.key))
                unknown << entry.key;
            continue;
        }
        values.insert(entry.key, entry.value);
    }
    if (!unknown.isEmpty())
        return fail(QStringLiteral("%1 no grupo [arquivo] de %2; as chaves são %3.")
                        .arg(toolkit::unknownKeysText(unknown), path, toolkit::listedText(kKeys)));
    ArchiveReadSettings s;
    s.url = values.value(QStringLiteral("url"));
    if (s.url.isEmpty())
        return {};
    const QUrl url(s.url, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty() ||
        (url.scheme() != u"http" && url.scheme() != u"https") || url.hasQuery())
        return fail(QStringLiteral("url deve ser um endereço http:// ou https:// com o nome do "
                                   "servidor, como http://servidor:8428 (em %1).")
                        .arg(path));
    while (s.url.endsWith(u'/'))
        s.url.chop(1);
    s.user = values.value(QStringLiteral("usuario"));

    const QString passwordFile = values.value(QStringLiteral("senha_arquivo"));
    if (!passwordFile.isEmpty()) {
        const toolkit::FileRead secret =
            toolkit::readRegularFile(passwordFile, toolkit::kMostSettingsBytes);
        if (secret.outcome == toolkit::FileRead::Outcome::Missing)
            return fail(QStringLiteral("o arquivo de senha %1 não existe.").arg(passwordFile));
        if (!secret.ok())
            return fail(QStringLiteral("o arquivo de senha %1 não pôde ser lido: %2.")
                            .arg(passwordFile, secret.reason()));
        if (secret.mode & (S_IRWXG | S_IRWXO))
            return fail(QStringLiteral("o arquivo de senha %1 pode ser lido por outros usuários; "
                                       "deixe-o só para o dono (chmod 600 %1).")
                            .arg(passwordFile));
        s.password = QString::fromUtf8(secret.bytes).section(u'\n', 0, 0).remove(u'\r');
    }
    s.tlsCa = values.value(QStringLiteral("tls_ca"));
    if (!s.tlsCa.isEmpty()) {
        const toolkit::FileRead ca = toolkit::readRegularFile(s.tlsCa, kMostCaBytes);
        if (!ca.ok())
            return fail(QStringLiteral("o certificado tls_ca %1 não pôde ser lido: %2.")
                            .arg(s.tlsCa, ca.reason()));
        if (QSslCertificate::fromData(ca.bytes, QSsl::Pem).isEmpty())
            return fail(QStringLiteral("o arquivo tls_ca %1 não tem nenhum certificado em formato "
                                       "PEM.")
                            .arg(s.tlsCa));
    }
    return {s, {}};
}

} // namespace site
