#pragma once

#include <QString>

namespace publish {

// What is known about a failed attempt to reach the broker, gathered from libmosquitto, the
// system and OpenSSL.
struct ConnectionFacts {
    int code = 0;        // the libmosquitto result (MOSQ_ERR_...)
    int systemError = 0; // errno, with MOSQ_ERR_ERRNO
    int refusal = 0;     // the broker's refusal code in its answer (CONNACK), 0 when none
    int verifyError = 0; // what the check of the broker's certificate refused (X509_V_ERR_...)
    qint64 certificateDateS = 0; // the date an out-of-date certificate crossed, seconds since 1970
    bool answered = false;       // the broker had answered the greeting on this connection
    bool tls = false;
    QString host;
    int port = 0;
    QString username;
    QString tlsCa;
};

// Why the station is not connected, in Portuguese, as one clause that says what to change:
// "o certificado do broker venceu em 02/01/2020; instale um certificado novo no broker ou acerte
// a data deste computador". Never holds parentheses, so that it can be put inside some.
QString failureText(const ConnectionFacts& facts);

struct MqttSettings;

// Whose acknowledgements a warning about an unprotected connection is about.
enum class AckSender { StationPc, SiteView };

// What lets others acknowledge alarms and stop the horn through the broker, in Portuguese,
// with what to change: a connection without a user name (a broker that takes anonymous
// clients), or without TLS to a broker on another computer (names, passwords and
// acknowledgements in clear on the network). Empty when neither. A station PC is warned only
// with reconhecer_remoto on; a site view sends acknowledgements whenever the operator asks.
QString ackExposureText(const MqttSettings& settings, AckSender sender);

// localhost or a loopback address: nothing leaves this computer.
bool localHost(const QString& host);

} // namespace publish
