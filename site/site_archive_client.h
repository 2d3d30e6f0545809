#pragma once

#include "archive/archive_settings.h"
#include "site/http_get.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QString>

#include <functional>
#include <memory>

namespace site {

// One series of an answer: its labels and its points (x the time in ms since the epoch, y the
// value); an instant vector's series has one point.
struct ArchiveSeries {
    QHash<QString, QString> labels;
    QList<QPointF> points;
};

// What the database answered, or why there is no answer, in Portuguese ("o arquivo do local
// ... não responde: conexão recusada").
struct ArchiveAnswer {
    QList<ArchiveSeries> series;
    QString error;
};

// The site's archive read through its Prometheus-style query API (VictoriaMetrics): every
// request goes out at once and is answered later on the window's thread; none waits.
class ArchiveClient : public QObject {
    Q_OBJECT

public:
    using Answered = std::function<void(const ArchiveAnswer&)>;
    static constexpr int kTimeoutMs = 30'000;

    ArchiveClient(archive::ArchiveSettings settings, QObject* parent = nullptr);

    const QString& url() const { return settings_.url; }

    // /api/v1/query_range: the expression at every step from fromMs to toMs.
    void queryRange(const QString& expression, qint64 fromMs, qint64 toMs, qint64 stepMs,
                    Answered answered);
    // /api/v1/query at atMs: an instant vector, or a range vector's raw samples.
    void query(const QString& expression, qint64 atMs, Answered answered);
    // /api/v1/series: the label sets of the series that match, between fromMs and toMs.
    void series(const QString& match, qint64 fromMs, qint64 toMs, Answered answered);

private:
    void get(const QString& path, const QList<std::pair<QString, QString>>& query,
             Answered answered);
    QString failureText(const HttpReply& reply) const;

    archive::ArchiveSettings settings_;
    std::unique_ptr<HttpGetter> http_; // trusts tls_ca's certificates, read once
    QString noHttp_;                   // why there is no getter
};

// The answer's series as a body of the query API holds them ("matrix", "vector" or the
// series API's list), or the error it tells.
ArchiveAnswer parseAnswer(const QByteArray& body);

} // namespace site
