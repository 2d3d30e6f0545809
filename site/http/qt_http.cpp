// GET requests through Qt Network, in a module of its own that the site view loads the first
// time it reads the site's archive (see http_get.h).
#include "site/http_get.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>

namespace {

using site::HttpReply;

HttpReply::Failure failureOf(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::NoError:
        return HttpReply::Failure::None;
    case QNetworkReply::ConnectionRefusedError:
        return HttpReply::Failure::Refused;
    case QNetworkReply::HostNotFoundError:
        return HttpReply::Failure::HostNotFound;
    case QNetworkReply::OperationCanceledError: // the transfer timeout ends a reply this way
    case QNetworkReply::TimeoutError:
        return HttpReply::Failure::TimedOut;
    case QNetworkReply::SslHandshakeFailedError:
        return HttpReply::Failure::Tls;
    default:
        return HttpReply::Failure::Other;
    }
}

class QtHttp final : public site::HttpGetter {
public:
    QtHttp(const QByteArray& caPem, int timeoutMs)
        : ca_(caPem.isEmpty() ? QList<QSslCertificate>{}
                              : QSslCertificate::fromData(caPem, QSsl::Pem)),
          timeoutMs_(timeoutMs) {}

    void get(const QUrl& url, const QByteArray& authorization, Done done) override {
        QNetworkRequest request(url);
        request.setTransferTimeout(timeoutMs_);
        if (!authorization.isEmpty())
            request.setRawHeader("Authorization", authorization);
        // A tls_ca without a certificate in it leaves the system's.
        if (!ca_.isEmpty()) {
            QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
            tls.setCaCertificates(ca_);
            request.setSslConfiguration(tls);
        }
        QNetworkReply* reply = manager_.get(request);
        QObject::connect(
            reply, &QNetworkReply::finished, &manager_, [reply, done = std::move(done)] {
                reply->deleteLater();
                HttpReply answer;
                answer.body = reply->readAll();
                answer.failure = failureOf(reply->error());
                answer.failureText = reply->errorString();
                answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
                done(answer);
            });
    }

private:
    QNetworkAccessManager manager_;
    QList<QSslCertificate> ca_;
    int timeoutMs_;
};

} // namespace

extern "C" Q_DECL_EXPORT site::HttpGetter* anemo_http_getter(const QByteArray* caPem,
                                                             int timeoutMs) {
    return new QtHttp(*caPem, timeoutMs);
}
