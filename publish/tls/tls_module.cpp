// The TLS context handed to libmosquitto, in a module of its own that the program loads only
// when a broker is reached over TLS (see tls_context.h): OpenSSL is not loaded at start.
#include "publish/tls_context.h"

#include <QDateTime>

#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

// inet_pton: the same call on both systems, declared in different headers.
#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#endif
#include <ctime>
#include <memory>

namespace publish {

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct InfoStackFree {
    void operator()(STACK_OF(X509_INFO) * infos) const {
        sk_X509_INFO_pop_free(infos, X509_INFO_free);
    }
};

std::unique_ptr<STACK_OF(X509_INFO), InfoStackFree> readPem(const QByteArray& pem) {
    std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (!bio)
        return nullptr;
    return std::unique_ptr<STACK_OF(X509_INFO), InfoStackFree>(
        PEM_X509_INFO_read_bio(bio.get(), nullptr, nullptr, nullptr));
}

bool isAddress(const QByteArray& host) {
    unsigned char address[sizeof(in6_addr)];
    return inet_pton(AF_INET, host.constData(), address) == 1 ||
           inet_pton(AF_INET6, host.constData(), address) == 1;
}

qint64 secondsOf(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1)
        return 0;
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), Qt::UTC)
        .toSecsSinceEpoch();
}

// The first refusal of a handshake is the one that ended it.
int noteRefusal(int preverifyOk, X509_STORE_CTX* store) {
    if (preverifyOk == 1)
        return 1;
    auto* ssl =
        static_cast<SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
    auto* verdict =
        ssl ? static_cast<TlsVerdict*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl))) : nullptr;
    if (verdict && verdict->error.load() == 0) {
        const int error = X509_STORE_CTX_get_error(store);
        const X509* certificate = X509_STORE_CTX_get_current_cert(store);
        if (certificate && error == X509_V_ERR_CERT_HAS_EXPIRED)
            verdict->dateS = secondsOf(X509_get0_notAfter(certificate));
        else if (certificate && error == X509_V_ERR_CERT_NOT_YET_VALID)
            verdict->dateS = secondsOf(X509_get0_notBefore(certificate));
        verdict->error = error;
    }
    return 0;
}

int countCertificates(const QByteArray& pem) {
    const auto infos = readPem(pem);
    int count = 0;
    for (int i = 0; infos && i < sk_X509_INFO_num(infos.get()); ++i)
        count += sk_X509_INFO_value(infos.get(), i)->x509 != nullptr;
    return count;
}

ssl_ctx_st* newContext(const QByteArray& caPem, const QByteArray& name, TlsVerdict* verdict) {
    const auto infos = readPem(caPem);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    if (!infos || !context) {
        SSL_CTX_free(context);
        return nullptr;
    }
    X509_STORE* store = SSL_CTX_get_cert_store(context);
    int trusted = 0;
    for (int i = 0; i < sk_X509_INFO_num(infos.get()); ++i) {
        const X509_INFO* info = sk_X509_INFO_value(infos.get(), i);
        if (info->x509 && X509_STORE_add_cert(store, info->x509) == 1)
            ++trusted;
        if (info->crl)
            X509_STORE_add_crl(store, info->crl);
    }
    // The same floor and options libmosquitto puts on a context of its own.
    SSL_CTX_set_min_proto_version(context, TLS1_1_VERSION);
    SSL_CTX_set_options(context, SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_mode(context, SSL_MODE_RELEASE_BUFFERS);
    // OpenSSL checks the name itself, so that a wrong name is told apart from the rest.
    X509_VERIFY_PARAM* param = SSL_CTX_get0_param(context);
    const bool checked = isAddress(name)
                             ? X509_VERIFY_PARAM_set1_ip_asc(param, name.constData()) == 1
                             : X509_VERIFY_PARAM_set1_host(param, name.constData(), 0) == 1;
    if (trusted == 0 || !checked) {
        SSL_CTX_free(context);
        return nullptr;
    }
    SSL_CTX_set_app_data(context, verdict);
    SSL_CTX_set_verify(context, SSL_VERIFY_PEER, noteRefusal);
    return context;
}

} // namespace

} // namespace publish

extern "C" {

Q_DECL_EXPORT int anemo_tls_certificate_count(const QByteArray* pem) {
    return publish::countCertificates(*pem);
}

Q_DECL_EXPORT ssl_ctx_st* anemo_tls_new_context(const QByteArray* caPem, const QByteArray* host,
                                                publish::TlsVerdict* verdict) {
    return publish::newContext(*caPem, *host, verdict);
}

Q_DECL_EXPORT void anemo_tls_free_context(ssl_ctx_st* context) {
    SSL_CTX_free(context);
}

Q_DECL_EXPORT const char* anemo_tls_error_text(int error) {
    return X509_verify_cert_error_string(error);
}

} // extern "C"
