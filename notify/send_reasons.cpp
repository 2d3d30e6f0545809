#include "notify/send_reasons.h"

#include <curl/curl.h>

namespace notify {

namespace {

constexpr qsizetype kMostShownChars = 200;

QString seconds(int ms) {
    return QString::number((ms + 999) / 1000);
}

QString quoted(const QString& text) {
    return text.isEmpty() ? QString() : QStringLiteral(" (\"%1\")").arg(text);
}

// The ways to a server that fail the same for mail and web: name, connection, time, TLS.
QString reachFailure(const QString& server, const QString& key, int code, const QString& curlError,
                     int timeoutMs) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("o nome do servidor de %1 não foi encontrado (%2): confira %3 e o "
                              "DNS deste computador.")
            .arg(server, curlError, key);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("%1 recusou a conexão ou não pôde ser alcançado (%2): confira a "
                              "porta em %3 e se o servidor está no ar.")
            .arg(server, curlError, key);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("%1 não respondeu em %2 s: confira %3 e se um firewall bloqueia a "
                              "porta; a mensagem é enviada de novo mais tarde.")
            .arg(server, seconds(timeoutMs), key);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CERTPROBLEM:
        return QStringLiteral("o certificado TLS de %1 não foi aceito (%2): %3.")
            .arg(server, curlError,
                 key == u"email_servidor"
                     ? QStringLiteral("dê em email_tls_ca o certificado da CA que o assinou, ou "
                                      "confira o nome em email_servidor")
                     : QStringLiteral("instale no sistema a CA que o assinou "
                                      "(update-ca-certificates), ou confira o nome em "
                                      "webhook_url"));
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("a conversa TLS com %1 falhou (%2): confira se o servidor fala TLS "
                              "nessa porta.")
            .arg(server, curlError);
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("o envio a %1 foi interrompido porque o programa está terminando.")
            .arg(server);
    default:
        return {};
    }
}

QString addressIn(const QString& command) {
    const qsizetype open = command.indexOf(u'<');
    const qsizetype close = command.indexOf(u'>', open);
    return open >= 0 && close > open ? command.mid(open + 1, close - open - 1) : command;
}

} // namespace

QString oneLine(const QByteArray& text) {
    QString line = QString::fromUtf8(text).trimmed();
    for (QChar& c : line) {
        if (c.unicode() < 0x20)
            c = u' ';
    }
    if (line.size() > kMostShownChars)
        line = line.left(kMostShownChars) + QStringLiteral("…");
    return line;
}

QString mailFailure(const QString& server, int code, const MailTrace& trace, int timeoutMs,
                    const QString& recipientsKey) {
    const QString key = QStringLiteral("email_servidor");
    if (code == CURLE_LOGIN_DENIED)
        return QStringLiteral("%1 recusou o usuário ou a senha%2: confira email_usuario e o "
                              "arquivo de email_senha_arquivo.")
            .arg(server, quoted(trace.lastReply));
    if (code == CURLE_USE_SSL_FAILED)
        return QStringLiteral("%1 não oferece STARTTLS%2: use email_seguranca=tls (porta 465), ou "
                              "nenhuma numa rede só sua.")
            .arg(server, quoted(trace.lastReply));
    if (code == CURLE_SSL_CONNECT_ERROR || code == CURLE_RECV_ERROR || code == CURLE_GOT_NOTHING) {
        // TLS from the first byte to a server that waits for its greeting, or the reverse.
        if (trace.lastReply.isEmpty() && trace.lastCommand.isEmpty())
            return QStringLiteral("a conversa com %1 falhou logo no começo (%2): confira "
                                  "email_seguranca (tls na porta 465, starttls na 587).")
                .arg(server, trace.curlError);
    }
    if (const QString reach = reachFailure(server, key, code, trace.curlError, timeoutMs);
        !reach.isEmpty())
        return reach;
    const QString verb = trace.lastCommand.section(u' ', 0, 0).toUpper();
    const bool refused = trace.lastReply.startsWith(u'4') || trace.lastReply.startsWith(u'5');
    if (refused && verb == u"RCPT")
        return QStringLiteral("%1 recusou o destinatário %2%3: corrija %4.")
            .arg(server, addressIn(trace.lastCommand), quoted(trace.lastReply), recipientsKey);
    if (refused && verb == u"MAIL")
        return QStringLiteral("%1 recusou o remetente %2%3: corrija email_de ou permita esse "
                              "remetente no servidor.")
            .arg(server, addressIn(trace.lastCommand), quoted(trace.lastReply));
    if (refused && verb == u"DATA")
        return QStringLiteral("%1 recusou a mensagem%2: veja no servidor por que ela não foi "
                              "aceita.")
            .arg(server, quoted(trace.lastReply));
    if (refused && verb == u"AUTH")
        return QStringLiteral("%1 recusou o login%2: confira email_usuario e o arquivo de "
                              "email_senha_arquivo.")
            .arg(server, quoted(trace.lastReply));
    if (refused && (verb == u"EHLO" || verb == u"HELO"))
        return QStringLiteral("%1 recusou a saudação deste computador%2: veja no servidor se ele "
                              "aceita mensagens deste endereço.")
            .arg(server, quoted(trace.lastReply));
    if (refused && trace.lastCommand.isEmpty())
        return QStringLiteral("%1 não aceita conexões agora%2: a mensagem é enviada de novo mais "
                              "tarde.")
            .arg(server, quoted(trace.lastReply));
    return QStringLiteral("a conversa com %1 falhou (%2%3): confira email_servidor e "
                          "email_seguranca.")
        .arg(server, trace.curlError, quoted(trace.lastReply));
}

QString httpFailure(const QString& url, int code, const QString& curlError, long status,
                    const QString& statusLine, const QByteArray& body, int timeoutMs) {
    if (code != CURLE_OK) {
        if (const QString reach =
                reachFailure(url, QStringLiteral("webhook_url"), code, curlError, timeoutMs);
            !reach.isEmpty())
            return reach;
        return QStringLiteral("a conversa com %1 falhou (%2): confira webhook_url.")
            .arg(url, curlError);
    }
    const QString answer = statusLine.isEmpty() ? QString::number(status) : statusLine;
    const QString said = oneLine(body);
    const QString heard = said.isEmpty() ? answer : QStringLiteral("%1, \"%2\"").arg(answer, said);
    if (status == 401 || status == 403)
        return QStringLiteral("%1 recusou o acesso (%2): confira o usuário e a senha em "
                              "webhook_url e o que o servidor permite a eles.")
            .arg(url, heard);
    if (status == 404)
        return QStringLiteral("%1 não existe no servidor (%2): confira o caminho em webhook_url.")
            .arg(url, heard);
    if (status == 429)
        return QStringLiteral("%1 limita as mensagens (%2): as que esperam seguem mais tarde.")
            .arg(url, heard);
    if (status >= 500)
        return QStringLiteral("%1 teve um erro (%2): a mensagem é enviada de novo mais tarde; se "
                              "continuar, veja o servidor.")
            .arg(url, heard);
    if (status >= 300 && status < 400)
        return QStringLiteral("%1 manda para outro endereço (%2): ponha o endereço novo em "
                              "webhook_url.")
            .arg(url, heard);
    return QStringLiteral("%1 recusou a notificação (%2): confira webhook_url e webhook_formato.")
        .arg(url, heard);
}

} // namespace notify
