#include "archive/database_post.h"

#include "notify/curl_library.h"
#include "notify/send_reasons.h"

#include <algorithm>

namespace archive {

namespace {

constexpr qsizetype kMostBodyBytes = 2048;

struct Answer {
    const std::atomic<bool>* stop = nullptr;
    QByteArray body;
};

size_t keepBody(char* data, size_t size, size_t count, void* userdata) {
    auto* answer = static_cast<Answer*>(userdata);
    const size_t n = size * count;
    if (answer->body.size() < kMostBodyBytes)
        answer->body.append(
            data, qsizetype(std::min<size_t>(n, size_t(kMostBodyBytes - answer->body.size()))));
    return n;
}

int watchStop(void* userdata, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* answer = static_cast<Answer*>(userdata);
    return answer->stop && answer->stop->load() ? 1 : 0;
}

} // namespace

struct DatabasePost::Handle {
    const notify::CurlApi* api = nullptr;
    CURL* curl = nullptr;
    curl_slist* headers = nullptr;
    Answer answer;
    char error[CURL_ERROR_SIZE] = {};
    QString why; // libcurl could not be opened

    ~Handle() {
        if (headers)
            api->slistFreeAll(headers);
        if (curl)
            api->easyCleanup(curl);
    }
};

DatabasePost::DatabasePost(const ArchiveSettings& settings, Limits limits)
    : url_(settings.url),
      writeUrl_((settings.url + QStringLiteral("/write?precision=ms")).toUtf8()),
      user_(settings.user.toUtf8()), password_(settings.password.toUtf8()),
      tlsCa_(settings.tlsCa.toLocal8Bit()), limits_(limits), handle_(std::make_unique<Handle>()) {
    shown_ = url_;
    Handle& h = *handle_;
    h.api = notify::loadCurl(&h.why);
    if (!h.api)
        return;
    h.curl = h.api->easyInit();
    if (!h.curl) {
        h.why = QStringLiteral("a biblioteca libcurl não pôde começar um envio (falta memória?)");
        return;
    }
    const auto set = h.api->easySetopt;
    CURL* curl = h.curl;
    h.answer.stop = limits_.stop;
    set(curl, CURLOPT_NOSIGNAL, 1L);
    set(curl, CURLOPT_ERRORBUFFER, h.error);
    set(curl, CURLOPT_URL, writeUrl_.constData());
    set(curl, CURLOPT_PROTOCOLS_STR, "http,https");
    set(curl, CURLOPT_POST, 1L);
    set(curl, CURLOPT_TIMEOUT_MS, long(limits_.transferMs));
    set(curl, CURLOPT_CONNECTTIMEOUT_MS, long(std::min(limits_.connectMs, limits_.transferMs)));
    set(curl, CURLOPT_NOPROGRESS, 0L);
    set(curl, CURLOPT_XFERINFOFUNCTION, &watchStop);
    set(curl, CURLOPT_XFERINFODATA, &h.answer);
    set(curl, CURLOPT_WRITEFUNCTION, &keepBody);
    set(curl, CURLOPT_WRITEDATA, &h.answer);
    h.headers = h.api->slistAppend(h.headers, "Content-Type: text/plain; charset=utf-8");
    // Without it a larger batch waits a second for a "100 Continue".
    h.headers = h.api->slistAppend(h.headers, "Expect:");
    set(curl, CURLOPT_HTTPHEADER, h.headers);
    if (!user_.isEmpty()) {
        set(curl, CURLOPT_HTTPAUTH, long(CURLAUTH_BASIC));
        set(curl, CURLOPT_USERNAME, user_.constData());
        set(curl, CURLOPT_PASSWORD, password_.constData());
    }
    if (!tlsCa_.isEmpty())
        set(curl, CURLOPT_CAINFO, tlsCa_.constData());
}

DatabasePost::~DatabasePost() = default;

PostOutcome DatabasePost::post(const QByteArray& lines) {
    Handle& h = *handle_;
    if (!h.curl)
        return {PostOutcome::Kind::Failed, h.why + u'.'};
    const auto set = h.api->easySetopt;
    set(h.curl, CURLOPT_POSTFIELDS, lines.constData());
    set(h.curl, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(lines.size()));
    h.answer.body.clear();
    h.error[0] = 0;
    const CURLcode code = h.api->easyPerform(h.curl);
    long status = 0;
    h.api->easyGetinfo(h.curl, CURLINFO_RESPONSE_CODE, &status);
    if (code == CURLE_OK && status >= 200 && status < 300)
        return {PostOutcome::Kind::Accepted, {}};
    const QString curlError = QString::fromUtf8(h.error).trimmed().isEmpty()
                                  ? QString::fromUtf8(h.api->easyStrerror(code))
                                  : QString::fromUtf8(h.error).trimmed();
    return {code == CURLE_OK && status == 400 ? PostOutcome::Kind::Refused
                                              : PostOutcome::Kind::Failed,
            postFailure(shown_, code, curlError, status, h.answer.body, limits_.transferMs)};
}

QString postFailure(const QString& url, int code, const QString& curlError, long status,
                    const QByteArray& body, int transferMs) {
    switch (code) {
    case CURLE_OK:
        break;
    case CURLE_COULDNT_RESOLVE_HOST:
        return QStringLiteral("o nome do servidor de %1 não foi encontrado (%2): confira url em "
                              "[arquivo] e o DNS deste computador.")
            .arg(url, curlError);
    case CURLE_COULDNT_CONNECT:
        return QStringLiteral("%1 recusou a conexão ou não pôde ser alcançado (%2): confira a "
                              "porta em url e se o banco de dados está no ar no servidor "
                              "(systemctl status victoria-metrics).")
            .arg(url, curlError);
    case CURLE_OPERATION_TIMEDOUT:
        return QStringLiteral("%1 não respondeu em %2 s: confira se o servidor está sobrecarregado "
                              "ou se um firewall bloqueia a porta; as leituras esperam na fila.")
            .arg(url)
            .arg((transferMs + 999) / 1000);
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_CERTPROBLEM:
        return QStringLiteral("o certificado TLS de %1 não foi aceito (%2): dê em tls_ca o "
                              "certificado da CA que o assinou, ou confira o nome em url.")
            .arg(url, curlError);
    case CURLE_SSL_CONNECT_ERROR:
        return QStringLiteral("a conversa TLS com %1 falhou (%2): confira se o servidor fala TLS "
                              "nessa porta (https:// ou http:// em url).")
            .arg(url, curlError);
    case CURLE_ABORTED_BY_CALLBACK:
        return QStringLiteral("o envio a %1 foi interrompido porque o programa está terminando.")
            .arg(url);
    default:
        return QStringLiteral("a conversa com %1 falhou (%2): confira url em [arquivo].")
            .arg(url, curlError);
    }
    const QString said = notify::oneLine(body);
    const QString heard = said.isEmpty() ? QString::number(status)
                                         : QStringLiteral("%1, \"%2\"").arg(status).arg(said);
    if (status == 401 || status == 403)
        return QStringLiteral("%1 recusou o acesso (%2): confira usuario e o arquivo de "
                              "senha_arquivo em [arquivo].")
            .arg(url, heard);
    if (status == 404)
        return QStringLiteral("%1 não recebe gravações em /write (%2): url deve ser só o endereço "
                              "do banco de dados (http://servidor:8428).")
            .arg(url, heard);
    if (status == 400)
        return QStringLiteral("%1 recusou as linhas (%2): elas foram descartadas; veja no "
                              "servidor por que não foram aceitas.")
            .arg(url, heard);
    if (status >= 300 && status < 400)
        return QStringLiteral("%1 manda para outro endereço (%2): ponha o endereço novo em url.")
            .arg(url, heard);
    return QStringLiteral("%1 não aceitou as leituras agora (%2): elas esperam na fila; se "
                          "continuar, veja o servidor (espaço em disco, memória).")
        .arg(url, heard);
}

} // namespace archive
