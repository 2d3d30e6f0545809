#include "notify/notify_settings.h"

#include "toolkit/ini_text.h"
#include "toolkit/regular_file.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QUrl>


namespace notify {

namespace {

using toolkit::kMostSettingsBytes;
constexpr qint64 kMostCaBytes = 1024 * 1024;

const QStringList kKeys{
    "email_servidor",  "email_seguranca", "email_usuario", "email_senha_arquivo",
    "email_tls_ca",    "email_de",        "email_para",    "webhook_url",
    "webhook_formato", "comando",         "quando",        "prioridade_minima",
    "lembrete_min",    "lembretes_max",   "escalar_min",   "escalar_para"};

// An address a mail header can carry as it stands: no blanks, brackets, commas or line ends.
bool goodAddress(const QString& address) {
    static const QRegularExpression pattern(
        QStringLiteral(R"(^[^@\s<>,;"()\[\]]+@[^@\s<>,;"()\[\]]+$)"));
    return pattern.match(address).hasMatch();
}

struct Addresses {
    QStringList list;
    QString bad; // the first that is not an address
};

Addresses addressesOf(const QString& value) {
    Addresses read;
    for (const QString& item : value.split(u',')) {
        const QString address = item.trimmed();
        if (address.isEmpty() || read.list.contains(address))
            continue;
        if (!goodAddress(address) && read.bad.isEmpty())
            read.bad = address;
        read.list << address;
    }
    return read;
}

// "smtp.example.com", "smtp.example.com:2525", "[::1]:25".
bool readServer(const QString& value, MailSettings& mail) {
    QString host = value.trimmed();
    std::optional<int> port;
    if (host.startsWith(u'[')) {
        const qsizetype end = host.indexOf(u']');
        if (end < 0)
            return false;
        const QString rest = host.mid(end + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(u':') || !(port = toolkit::wholeNumberIn(rest.mid(1), 1, 65535)))
                return false;
        }
        host = host.mid(1, end - 1);
    } else if (const qsizetype colon = host.lastIndexOf(u':'); colon >= 0) {
        if (!(port = toolkit::wholeNumberIn(host.mid(colon + 1), 1, 65535)))
            return false;
        host = host.left(colon);
    }
    static const QRegularExpression hostPattern(QStringLiteral(R"(^[A-Za-z0-9._:-]+$)"));
    if (!hostPattern.match(host).hasMatch())
        return false;
    mail.host = host;
    if (port)
        mail.port = *port;
    return true;
}

QString checkCa(const QString& path) {
    const toolkit::FileRead ca = toolkit::readRegularFile(path, kMostCaBytes);
    if (!ca.ok())
        return QStringLiteral("o certificado email_tls_ca %1 não pôde ser lido: %2")
            .arg(path, ca.reason());
    if (!ca.bytes.contains("-----BEGIN CERTIFICATE-----"))
        return QStringLiteral("o arquivo email_tls_ca %1 não tem nenhum certificado em formato "
                              "PEM")
            .arg(path);
    return {};
}

class Reader {
public:
    explicit Reader(const QHash<QString, QString>& values) : values_(values) {}

    QStringList problems;

    bool has(const QString& key) const { return values_.contains(key); }
    QString value(const QString& key) const { return values_.value(key); }

    void readMail(MailSettings& mail) {
        if (value(QStringLiteral("email_servidor")).isEmpty()) {
            for (const char* key : {"email_usuario", "email_senha_arquivo", "email_de",
                                    "email_para", "email_tls_ca", "email_seguranca"}) {
                if (!value(QString::fromLatin1(key)).isEmpty()) {
                    problems << QStringLiteral("%1 precisa de email_servidor; nenhum e-mail é "
                                               "enviado")
                                    .arg(QString::fromLatin1(key));
                    break;
                }
            }
            return;
        }
        MailSettings read;
        const QString security = value(QStringLiteral("email_seguranca")).toLower();
        if (security == u"tls") {
            read.security = Security::Tls;
            read.port = 465;
        } else if (security == u"nenhuma") {
            read.security = Security::None;
            read.port = 25;
        } else if (!security.isEmpty() && security != u"starttls") {
            return mailOff(QStringLiteral("email_seguranca deve ser starttls, tls ou nenhuma, não "
                                          "\"%1\"")
                               .arg(value(QStringLiteral("email_seguranca"))));
        }
        if (!readServer(value(QStringLiteral("email_servidor")), read))
            return mailOff(QStringLiteral("email_servidor deve ser um nome ou endereço com uma "
                                          "porta opcional (smtp.exemplo.com.br:587), não \"%1\"")
                               .arg(value(QStringLiteral("email_servidor"))));
        read.from = value(QStringLiteral("email_de")).trimmed();
        if (!goodAddress(read.from))
            return mailOff(
                read.from.isEmpty()
                    ? QStringLiteral("falta email_de, o remetente")
                    : QStringLiteral("email_de \"%1\" não é um endereço de e-mail").arg(read.from));
        const Addresses to = addressesOf(value(QStringLiteral("email_para")));
        if (to.list.isEmpty())
            return mailOff(QStringLiteral("falta email_para, os destinatários"));
        if (!to.bad.isEmpty())
            return mailOff(
                QStringLiteral("\"%1\" de email_para não é um endereço de e-mail").arg(to.bad));
        read.to = to.list;
        read.user = value(QStringLiteral("email_usuario"));
        const QString passwordFile = value(QStringLiteral("email_senha_arquivo"));
        if (read.user.isEmpty() != passwordFile.isEmpty())
            return mailOff(QStringLiteral("email_usuario e email_senha_arquivo vão juntos"));
        if (!passwordFile.isEmpty()) {
            if (const QString why =
                    toolkit::readPasswordFile(passwordFile, kMostSettingsBytes, read.password);
                !why.isEmpty())
                return mailOff(why);
        }
        read.tlsCa = value(QStringLiteral("email_tls_ca"));
        if (!read.tlsCa.isEmpty()) {
            if (const QString why = checkCa(read.tlsCa); !why.isEmpty())
                return mailOff(why);
        }
        mail = read;
    }

    void readWebhook(NotifySettings& s) {
        const QString format = value(QStringLiteral("webhook_formato")).toLower();
        if (format == u"ntfy")
            s.webhookFormat = WebhookFormat::Ntfy;
        else if (!format.isEmpty() && format != u"json")
            problems << QStringLiteral("webhook_formato deve ser json ou ntfy, não \"%1\"; vale "
                                       "json")
                            .arg(value(QStringLiteral("webhook_formato")));
        const QString text = value(QStringLiteral("webhook_url"));
        if (text.isEmpty())
            return;
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || (scheme != u"http" && scheme != u"https")) {
            problems << QStringLiteral("webhook_url deve começar com http:// ou https:// e ter um "
                                       "servidor, não \"%1\"; o webhook fica desligado")
                            .arg(urlShown(text));
            return;
        }
        s.webhookUrl = text;
    }

    void readCommand(NotifySettings& s) {
        const QString path = value(QStringLiteral("comando"));
        if (path.isEmpty())
            return;
        const QFileInfo info(path);
        QString why;
        if (!info.isAbsolute())
            why = QStringLiteral("comando deve ser um caminho completo (/usr/local/bin/...), não "
                                 "\"%1\"")
                      .arg(path);
        else if (!info.exists())
            why = QStringLiteral("o comando %1 não existe").arg(path);
        else if (!info.isFile() || !info.isExecutable())
            why =
                QStringLiteral("o comando %1 não é um arquivo executável (chmod +x %1)").arg(path);
        if (!why.isEmpty()) {
            problems << why + QStringLiteral("; nenhum comando é executado");
            return;
        }
        s.command = path;
    }

    void readWhen(NotifySettings& s) {
        if (!has(QStringLiteral("quando")))
            return;
        QList<Event> events;
        for (const QString& item : value(QStringLiteral("quando")).split(u',')) {
            const QString word = item.trimmed().toUpper();
            if (word.isEmpty())
                continue;
            const std::optional<Event> event = eventFromText(word);
            if (!event || int(*event) > int(Event::Shelved)) {
                problems << QStringLiteral("quando aceita ATIVO, NORMALIZADO, RECONHECIDO e "
                                           "SUPRIMIDO, não \"%1\"; vale ATIVO,NORMALIZADO")
                                .arg(item.trimmed());
                return;
            }
            if (!events.contains(*event))
                events << *event;
        }
        s.events = events;
    }

    void readPriority(NotifySettings& s) {
        const QString word = value(QStringLiteral("prioridade_minima")).toLower();
        if (word.isEmpty())
            return;
        if (word == u"alta")
            s.lowestPriority = alarms::Priority::High;
        else if (word == u"media" || word == u"média")
            s.lowestPriority = alarms::Priority::Medium;
        else if (word == u"baixa")
            s.lowestPriority = alarms::Priority::Low;
        else
            problems << QStringLiteral("prioridade_minima deve ser alta, media ou baixa, não "
                                       "\"%1\"; vale media")
                            .arg(value(QStringLiteral("prioridade_minima")));
    }

    void readNumber(const QString& key, int low, int high, int& into, const QString& meaning) {
        if (!has(key))
            return;
        if (const std::optional<int> n = toolkit::wholeNumberIn(value(key), low, high))
            into = *n;
        else
            problems << QStringLiteral("%1 deve ser um número de %2 a %3, não \"%4\"; %5")
                            .arg(key)
                            .arg(low)
                            .arg(high)
                            .arg(value(key), meaning);
    }

    void readEscalation(NotifySettings& s) {
        readNumber(QStringLiteral("escalar_min"), 1, kMostMinutes, s.escalateMin,
                   QStringLiteral("ninguém mais recebe a escalada"));
        const Addresses to = addressesOf(value(QStringLiteral("escalar_para")));
        QString why;
        if (!to.bad.isEmpty())
            why = QStringLiteral("\"%1\" de escalar_para não é um endereço de e-mail").arg(to.bad);
        else if (s.escalateMin > 0 && to.list.isEmpty())
            why = QStringLiteral("escalar_min precisa de escalar_para");
        else if (s.escalateMin == 0 && !to.list.isEmpty())
            why = QStringLiteral("escalar_para precisa de escalar_min");
        else if (!to.list.isEmpty() && s.mail.host.isEmpty())
            why = QStringLiteral("escalar_para precisa do e-mail (email_servidor)");
        if (!why.isEmpty()) {
            problems << why + QStringLiteral("; ninguém mais recebe a escalada");
            s.escalateMin = 0;
            return;
        }
        s.escalateTo = to.list;
    }

private:
    void mailOff(const QString& why) {
        problems << why + QStringLiteral("; nenhum e-mail é enviado");
    }

    const QHash<QString, QString>& values_;
};

} // namespace

bool NotifySettings::has(Channel channel) const {
    switch (channel) {
    case Channel::Email:
        return !mail.host.isEmpty();
    case Channel::Webhook:
        return !webhookUrl.isEmpty();
    case Channel::Command:
        break;
    }
    return !command.isEmpty();
}

bool NotifySettings::any() const {
    return has(Channel::Email) || has(Channel::Webhook) || has(Channel::Command);
}

bool NotifySettings::told(alarms::Kind kind) const {
    // alta < média < baixa in the enumeration.
    return int(alarms::priorityOf(kind)) <= int(lowestPriority);
}

QString urlShown(const QString& url) {
    const QUrl parsed(url);
    if (!parsed.isValid() || parsed.userInfo().isEmpty())
        return url;
    return parsed.toString(QUrl::RemoveUserInfo);
}

NotifySettingsResult readNotifySettings(const QString& path) {
    const toolkit::IniFile ini = toolkit::readIniFile(path, kMostSettingsBytes);
    NotifySettingsResult result = readNotifySettings(ini);
    if (!ini.unreadable.isEmpty())
        result.error = QStringLiteral("Notificações: o arquivo %1 não pôde ser lido: %2; nenhuma "
                                      "notificação é enviada.")
                           .arg(path, ini.unreadable);
    return result;
}

NotifySettingsResult readNotifySettings(const toolkit::IniFile& ini) {
    NotifySettingsResult result;
    const QString& path = ini.path;
    const auto group = ini.groups.find(QStringLiteral("notificacoes"));
    if (group == ini.groups.end())
        return result;
    const auto [values, unknown] = toolkit::groupValues(group->second, kKeys);
    NotifySettings& s = result.settings;
    Reader reader(values);
    reader.readMail(s.mail);
    reader.readWebhook(s);
    reader.readCommand(s);
    reader.readWhen(s);
    reader.readPriority(s);
    reader.readNumber(QStringLiteral("lembrete_min"), 0, kMostMinutes, s.reminderMin,
                      QStringLiteral("vale 15"));
    reader.readNumber(QStringLiteral("lembretes_max"), 0, kMostReminders, s.mostReminders,
                      QStringLiteral("vale 4"));
    reader.readEscalation(s);
    if (!unknown.isEmpty())
        reader.problems << QStringLiteral("%1; as chaves são %2")
                               .arg(toolkit::unknownKeysText(unknown), toolkit::listedText(kKeys));
    if (!reader.problems.isEmpty()) {
        QStringList ended;
        for (const QString& problem : std::as_const(reader.problems))
            ended << problem + u'.';
        result.error = QStringLiteral("Notificações, no grupo [notificacoes] de %1: %2")
                           .arg(path, toolkit::sentences(ended));
    }
    return result;
}

} // namespace notify
