#pragma once

// Certificates made by the openssl command for one test: a CA of the test's own, a broker
// certificate for 127.0.0.1 that it signs, and the same one long out of date.

#include <QDebug>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

inline bool runOpenSsl(const QStringList& arguments, const QString& folder) {
    QProcess openssl;
    openssl.setWorkingDirectory(folder);
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    openssl.start(QStringLiteral("openssl"), arguments);
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) {
        qWarning() << "openssl" << arguments << openssl.readAll();
        return false;
    }
    return true;
}

inline bool writeText(const QString& path, const QByteArray& text) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

// <ca>.crt and <ca>.key, and server.crt with server.key for IP 127.0.0.1, in folder.
inline bool makeCertificates(const QString& folder, const QString& ca) {
    const QStringList key{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    return writeText(folder + QStringLiteral("/san.ext"), "subjectAltName=IP:127.0.0.1\n") &&
           runOpenSsl(QStringList{"req", "-x509"} + key +
                          QStringList{"-keyout", ca + ".key", "-out", ca + ".crt", "-days", "2",
                                      "-subj", "/CN=CA de teste " + ca},
                      folder) &&
           runOpenSsl(QStringList{"req"} + key +
                          QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj",
                                      "/CN=127.0.0.1"},
                      folder) &&
           runOpenSsl({"x509", "-req", "-in", "server.csr", "-CA", ca + ".crt", "-CAkey",
                       ca + ".key", "-CAcreateserial", "-out", "server.crt", "-days", "2",
                       "-extfile", "san.ext"},
                      folder);
}

// expired.crt: the broker's key of makeCertificates, valid from 14 to 15 January 2020 only,
// signed by the same CA (the "openssl ca" command is the one that takes dates in the past).
inline bool makeExpiredCertificate(const QString& folder, const QString& ca) {
    return writeText(folder + QStringLiteral("/index.txt"), {}) &&
           writeText(folder + QStringLiteral("/serial"), "01\n") &&
           writeText(folder + QStringLiteral("/ca.cnf"),
                     "[ca]\ndefault_ca=test\n[test]\ndatabase=index.txt\nnew_certs_dir=.\n"
                     "serial=serial\ndefault_md=sha256\npolicy=any\nunique_subject=no\n"
                     "[any]\ncommonName=supplied\n") &&
           runOpenSsl({"ca", "-batch", "-notext", "-config", "ca.cnf", "-cert", ca + ".crt",
                       "-keyfile", ca + ".key", "-in", "server.csr", "-out", "expired.crt",
                       "-startdate", "20200114120000Z", "-enddate", "20200115120000Z", "-extfile",
                       "san.ext"},
                      folder);
}
