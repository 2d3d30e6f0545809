#include "publish/connection_text.h"

#include "publish/mqtt_settings.h"
#include "publish/socket_calls.h"
#include "publish/tls_context.h"

#include <QDateTime>
#include <QRegularExpression>

#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <openssl/x509_vfy.h>


namespace publish {

namespace {

QString dateText(qint64 seconds) {
    return QDateTime::fromSecsSinceEpoch(seconds).toString(QStringLiteral("dd/MM/yyyy"));
}

QString refusalText(const ConnectionFacts& facts) {
    switch (facts.refusal) {
    case CONNACK_REFUSED_PROTOCOL_VERSION:
        return QStringLiteral(
            "o broker não aceita esta versão do protocolo MQTT; atualize o broker");
    case CONNACK_REFUSED_IDENTIFIER_REJECTED:
        return QStringLiteral("o broker recusou o client_id; escolha outro client_id em %1")
            .arg(kSettingsFile);
    case CONNACK_REFUSED_SERVER_UNAVAILABLE:
        return QStringLiteral(
            "o broker respondeu que está indisponível; confira o serviço do broker");
    case CONNACK_REFUSED_BAD_USERNAME_PASSWORD:
    case CONNACK_REFUSED_NOT_AUTHORIZED:
        if (facts.username.isEmpty())
            return QStringLiteral("o broker exige usuário e senha; defina username e password_file "
                                  "em %1")
                .arg(kSettingsFile);
        if (facts.refusal == CONNACK_REFUSED_BAD_USERNAME_PASSWORD)
            return QStringLiteral("o broker recusou o usuário ou a senha; confira username e a "
                                  "senha no arquivo de password_file, em %1")
                .arg(kSettingsFile);
        return QStringLiteral("o broker não autorizou o usuário %1 com essa senha; confira "
                              "username e a senha no arquivo de password_file, em %2")
            .arg(facts.username, kSettingsFile);
    default:
        return QStringLiteral("o broker recusou a conexão com o código %1; confira o broker")
            .arg(facts.refusal);
    }
}

QString certificateText(const ConnectionFacts& facts) {
    switch (facts.verifyError) {
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return QStringLiteral(
                   "o certificado do broker venceu em %1; instale um certificado novo no "
                   "broker ou acerte a data deste computador")
            .arg(dateText(facts.certificateDateS));
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return QStringLiteral("o certificado do broker só vale a partir de %1; acerte a data deste "
                              "computador")
            .arg(dateText(facts.certificateDateS));
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
        return QStringLiteral("o certificado do broker não foi emitido pela autoridade de tls_ca "
                              "%1; aponte tls_ca para o certificado da autoridade que emitiu o do "
                              "broker")
            .arg(facts.tlsCa);
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return QStringLiteral("o certificado do broker não vale para o nome %1; use em host o nome "
                              "ou o endereço que consta no certificado")
            .arg(facts.host);
    default: {
        QString why = verifyErrorText(facts.verifyError);
        why.replace(u'(', u' ').replace(u')', u' ');
        return QStringLiteral("o certificado do broker foi recusado, o OpenSSL diz \"%1\"; "
                              "confira o certificado do broker")
            .arg(why.simplified());
    }
    }
}

QString networkText(const ConnectionFacts& facts) {
    switch (sockets::classify(facts.systemError)) {
    case sockets::Failure::Refused:
        return QStringLiteral("conexão recusada, nenhum broker atende na porta %1 de %2; confira "
                              "host e port em %3 e se o broker está ligado")
            .arg(facts.port)
            .arg(facts.host, kSettingsFile);
    case sockets::Failure::Unreachable:
        return QStringLiteral("%1 não responde pela rede; confira host em %2 e a rede deste "
                              "computador")
            .arg(facts.host, kSettingsFile);
    case sockets::Failure::Reset:
        return QStringLiteral("o broker encerrou a conexão");
    case sockets::Failure::Other:
        break;
    }
    return QStringLiteral("rede indisponível, erro %1 do sistema; confira a rede deste "
                          "computador")
        .arg(facts.systemError);
}

} // namespace

QString failureText(const ConnectionFacts& facts) {
    if (facts.refusal != 0)
        return refusalText(facts);
    if (facts.verifyError != 0)
        return certificateText(facts);
    const bool closed = facts.code == MOSQ_ERR_CONN_LOST || facts.code == MOSQ_ERR_PROTOCOL ||
                        (facts.code == MOSQ_ERR_ERRNO &&
                         sockets::classify(facts.systemError) == sockets::Failure::Reset);
    // A broker that speaks TLS on that port drops a plain greeting without an answer.
    if (closed && !facts.answered && !facts.tls)
        return QStringLiteral("o broker encerrou a conexão sem responder; se a porta %1 usa TLS, "
                              "defina tls_ca em %2")
            .arg(facts.port)
            .arg(kSettingsFile);
    switch (facts.code) {
    case MOSQ_ERR_SUCCESS:
        return {};
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QStringLiteral("a negociação TLS com o broker falhou; confira se a porta %1 do "
                              "broker usa TLS")
            .arg(facts.port);
    case MOSQ_ERR_EAI:
        return QStringLiteral("o nome %1 não foi encontrado; confira host em %2")
            .arg(facts.host, kSettingsFile);
    case MOSQ_ERR_ERRNO:
        return networkText(facts);
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
    case MOSQ_ERR_PROTOCOL:
        return facts.answered ? QStringLiteral("a conexão com o broker caiu")
                              : QStringLiteral("o broker encerrou a conexão sem responder; "
                                               "confira port em %1")
                                    .arg(kSettingsFile);
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("o broker deixou de responder");
    case MOSQ_ERR_NOMEM:
        return QStringLiteral("memória insuficiente");
    default:
        return QStringLiteral("erro %1 da biblioteca MQTT").arg(facts.code);
    }
}

bool localHost(const QString& host) {
    const QString name = host.trimmed().toLower();
    static const QRegularExpression loopbackV4(QStringLiteral(R"(^127(\.\d{1,3}){3}$)"));
    return name == u"localhost" || name.endsWith(u".localhost") || name == u"::1" ||
           loopbackV4.match(name).hasMatch();
}

QString ackExposureText(const MqttSettings& settings, AckSender sender) {
    if (sender == AckSender::StationPc && !settings.remoteAck)
        return {};
    const bool anonymous = settings.username.isEmpty();
    const bool clear = settings.tlsCa.isEmpty() && !localHost(settings.host);
    if (!anonymous && !clear)
        return {};
    QStringList faults;
    QStringList changes;
    if (anonymous) {
        faults << QStringLiteral("sem usuário");
        changes << QStringLiteral("defina username e password_file em %1 e, no broker, "
                                  "allow_anonymous false e um acl_file que só deixe a visão do "
                                  "local publicar nos tópicos ack")
                       .arg(kSettingsFile);
    }
    if (clear) {
        faults << QStringLiteral("sem TLS com %1").arg(settings.host);
        changes << QStringLiteral("ligue o TLS no broker e defina tls_ca em %1").arg(kSettingsFile);
    }
    const QString subject = sender == AckSender::StationPc
                                ? QStringLiteral("Reconhecimento remoto ligado "
                                                 "(reconhecer_remoto=true)")
                                : QStringLiteral("Os reconhecimentos desta visão do local vão");
    const QString risk = anonymous ? QStringLiteral("qualquer cliente que alcance o broker pode "
                                                    "reconhecer alarmes e calar a sirene")
                                   : QStringLiteral("usuário, senha e reconhecimentos passam "
                                                    "abertos pela rede");
    return QStringLiteral("%1 numa conexão %2: %3. Para proteger, %4.")
        .arg(subject, faults.join(QStringLiteral(" e ")), risk,
             changes.join(QStringLiteral(", e ")));
}

} // namespace publish
