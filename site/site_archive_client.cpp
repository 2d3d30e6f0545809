#include "site/site_archive_client.h"

#include "toolkit/regular_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrlQuery>

namespace site {

namespace {

constexpr qint64 kMostCaBytes = 1024 * 1024;

QString seconds(qint64 ms) {
    return QString::number(double(ms) / 1000.0, 'f', 3);
}

QPointF point(const QJsonArray& pair) {
    return {pair.at(0).toDouble() * 1000.0, pair.at(1).toString().toDouble()};
}

} // namespace

ArchiveClient::ArchiveClient(archive::ArchiveSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    const QByteArray ca = settings_.tlsCa.isEmpty()
                              ? QByteArray()
                              : toolkit::readRegularFile(settings_.tlsCa, kMostCaBytes).bytes;
    http_ = newHttpGetter(ca, kTimeoutMs, &noHttp_);
}

void ArchiveClient::queryRange(const QString& expression, qint64 fromMs, qint64 toMs, qint64 stepMs,
                               Answered answered) {
    get(QStringLiteral("/api/v1/query_range"),
        {{QStringLiteral("query"), expression},
         {QStringLiteral("start"), seconds(fromMs)},
         {QStringLiteral("end"), seconds(toMs)},
         {QStringLiteral("step"), seconds(stepMs)}},
        std::move(answered));
}

void ArchiveClient::query(const QString& expression, qint64 atMs, Answered answered) {
    get(QStringLiteral("/api/v1/query"),
        {{QStringLiteral("query"), expression}, {QStringLiteral("time"), seconds(atMs)}},
        std::move(answered));
}

void ArchiveClient::series(const QString& match, qint64 fromMs, qint64 toMs, Answered answered) {
    get(QStringLiteral("/api/v1/series"),
        {{QStringLiteral("match[]"), match},
         {QStringLiteral("start"), seconds(fromMs)},
         {QStringLiteral("end"), seconds(toMs)}},
        std::move(answered));
}

void ArchiveClient::get(const QString& path, const QList<std::pair<QString, QString>>& query,
                        Answered answered) {
    QUrl url(settings_.url + path);
    QUrlQuery items;
    for (const auto& [key, value] : query)
        items.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    // VictoriaMetrics otherwise moves the start and end of a long range to multiples of the
    // step, and an instant near now back by half a minute, for its cache.
    items.addQueryItem(QStringLiteral("nocache"), QStringLiteral("1"));
    url.setQuery(items);
    QByteArray authorization;
    if (!settings_.user.isEmpty())
        authorization = "Basic " + (settings_.user + u':' + settings_.password).toUtf8().toBase64();
    if (!http_) {
        HttpReply none;
        none.failure = HttpReply::Failure::Other;
        none.failureText = noHttp_;
        // As a reply would: from the event loop, never from inside the caller.
        QMetaObject::invokeMethod(
            this,
            [this, none, answered = std::move(answered)] {
                answered({{}, failureText(none)});
            },
            Qt::QueuedConnection);
        return;
    }
    // Told only while this client lives: the getter, and its replies, go with it.
    http_->get(url, authorization, [this, answered = std::move(answered)](const HttpReply& reply) {
        ArchiveAnswer answer = parseAnswer(reply.body);
        if (reply.failure != HttpReply::Failure::None || !answer.error.isEmpty())
            answer = {{}, failureText(reply)};
        answered(answer);
    });
}

QString ArchiveClient::failureText(const HttpReply& reply) const {
    const QString head = QStringLiteral("O arquivo do local (%1) ").arg(settings_.url);
    const int status = reply.status;
    if (status == 401 || status == 403)
        return head + QStringLiteral("recusou o usuário ou a senha: confira usuario e "
                                     "senha_arquivo no grupo [arquivo] de anemometros.ini.");
    if (status != 0) {
        const QString told = parseAnswer(reply.body).error;
        return head +
               QStringLiteral("não aceitou a consulta (HTTP %1)%2")
                   .arg(status)
                   .arg(told.isEmpty() ? QStringLiteral(".") : QStringLiteral(": %1").arg(told));
    }
    QString why;
    switch (reply.failure) {
    case HttpReply::Failure::Refused:
        why = QStringLiteral("recusou a conexão: o VictoriaMetrics está parado no servidor, ou "
                             "url aponta para outra porta");
        break;
    case HttpReply::Failure::HostNotFound:
        why = QStringLiteral("não foi encontrado: confira o nome do servidor em url");
        break;
    case HttpReply::Failure::TimedOut:
        why = QStringLiteral("não respondeu em %1 s").arg(kTimeoutMs / 1000);
        break;
    case HttpReply::Failure::Tls:
        why = QStringLiteral("apresentou um certificado não aceito (%1): confira tls_ca")
                  .arg(reply.failureText);
        break;
    default:
        why = QStringLiteral("não pôde ser lido: %1").arg(reply.failureText);
    }
    return head + why +
           QStringLiteral(". O histórico volta quando o banco responder; tente de novo em "
                          "\"Mostrar\".");
}

ArchiveAnswer parseAnswer(const QByteArray& body) {
    QJsonParseError parsed;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject())
        return {{}, QStringLiteral("resposta que não é JSON")};
    const QJsonObject top = document.object();
    if (top.value(QStringLiteral("status")).toString() != u"success")
        return {{}, top.value(QStringLiteral("error")).toString(QStringLiteral("erro"))};
    ArchiveAnswer answer;
    const QJsonValue data = top.value(QStringLiteral("data"));
    // The series API lists label sets; the query API has a result of series.
    const QJsonArray items =
        data.isArray() ? data.toArray() : data.toObject().value(QStringLiteral("result")).toArray();
    for (const QJsonValue& item : items) {
        const QJsonObject object = item.toObject();
        const QJsonObject labels =
            data.isArray() ? object : object.value(QStringLiteral("metric")).toObject();
        ArchiveSeries series;
        for (auto it = labels.begin(); it != labels.end(); ++it)
            series.labels.insert(it.key(), it.value().toString());
        if (const QJsonValue one = object.value(QStringLiteral("value")); one.isArray())
            series.points << point(one.toArray());
        for (const QJsonValue pair : object.value(QStringLiteral("values")).toArray())
            series.points << point(pair.toArray());
        answer.series << series;
    }
    return answer;
}

} // namespace site
