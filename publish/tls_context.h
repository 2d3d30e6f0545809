#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

struct ssl_ctx_st;

namespace publish {

// What the check of the broker's certificate refused in the last handshake. Written by
// OpenSSL's verify callback on whichever thread runs the handshake.
struct TlsVerdict {
    std::atomic<int> error{0};    // an X509_V_ERR_... value; 0 when nothing was refused
    std::atomic<qint64> dateS{0}; // for a certificate out of its dates, the date it crossed
};

// The PEM certificates in a CA bundle.
int certificateCount(const QByteArray& pem);

// A client TLS context that trusts the certificates of caPem only and checks that the broker's
// certificate is for host (a name or an IP address). What the check refuses is noted in
// verdict, which must outlive the context. Null when caPem holds no certificate. The caller
// owns the context (freeTlsContext).
ssl_ctx_st* newTlsContext(const QByteArray& caPem, const QString& host, TlsVerdict* verdict);
void freeTlsContext(ssl_ctx_st* context);
// OpenSSL's own words for a refusal (an X509_V_ERR_... value), in English.
QString verifyErrorText(int error);

} // namespace publish
