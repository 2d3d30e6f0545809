#include "publish/mqtt_client.h"

#include "publish/connection_text.h"
#include "publish/mosquitto_library.h"
#include "publish/socket_calls.h"
#include "publish/tls_context.h"
#include "toolkit/regular_file.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <mutex>
#include <utility>

namespace publish {

struct MqttClient::Shared {
    mosquitto* handle = nullptr;
    std::mutex mutex;
    MqttClient* owner = nullptr; // under mutex; null once stop() has begun
    TlsVerdict verdict;          // of the TLS context the handle holds
};

namespace {

// The library's calls, once start() has loaded it.
const MosquittoApi& mq() {
    return *loadMosquitto();
}

constexpr int kLongestWaitS = 30;

} // namespace

MqttClient::MqttClient(MqttSettings settings, Will will, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), will_(std::move(will)) {}

MqttClient::~MqttClient() {
    stop();
}

void MqttClient::start() {
    if (shared_)
        return;
    QString why;
    if (!loadMosquitto(&why)) {
        lastError_ = why;
        emit failed(lastError_);
        return;
    }
    // Callbacks come only from the loop calls made on this object's thread.
    mosquitto* handle = mq().create(settings_.clientId.toUtf8().constData(), true, this);
    if (!handle) {
        lastError_ = QStringLiteral("memória insuficiente");
        emit failed(lastError_);
        return;
    }
    shared_ = std::make_shared<Shared>();
    shared_->handle = handle;
    shared_->owner = this;
    const QByteArray willTopic = will_.topic.toUtf8();
    if (!willTopic.isEmpty())
        mq().willSet(handle, willTopic.constData(), int(will_.payload.size()),
                     will_.payload.constData(), 1, true);
    if (!settings_.username.isEmpty() || !settings_.password.isEmpty()) {
        const QByteArray user = settings_.username.toUtf8();
        const QByteArray password = settings_.password.toUtf8();
        mq().usernamePwSet(handle, user.isEmpty() ? nullptr : user.constData(),
                           password.isEmpty() ? nullptr : password.constData());
    }
    if (!settings_.tlsCa.isEmpty()) {
        // The certificates are handed to OpenSSL from here: the library never opens the file
        // (a FIFO put in its place would hold the program).
        const toolkit::FileRead ca = toolkit::readRegularFile(settings_.tlsCa, kMostCaBytes);
        ssl_ctx_st* context =
            ca.ok() ? newTlsContext(ca.bytes, settings_.host, &shared_->verdict) : nullptr;
        const bool used =
            context && mq().voidOption(handle, MOSQ_OPT_SSL_CTX, context) == MOSQ_ERR_SUCCESS &&
            mq().intOption(handle, MOSQ_OPT_SSL_CTX_WITH_DEFAULTS, 0) == MOSQ_ERR_SUCCESS;
        freeTlsContext(context); // the handle holds its own reference
        if (!used) {
            lastError_ = ca.ok() ? QStringLiteral("o arquivo tls_ca %1 não tem certificado que o "
                                                  "OpenSSL aceite; confira tls_ca em %2")
                                       .arg(settings_.tlsCa, kSettingsFile)
                                 : QStringLiteral("o certificado tls_ca %1 não pôde ser lido, %2; "
                                                  "confira tls_ca em %3")
                                       .arg(settings_.tlsCa, ca.reason(), kSettingsFile);
            emit failed(lastError_);
            return;
        }
    }
    mq().connectCallbackSet(handle, onConnect);
    mq().disconnectCallbackSet(handle, onDisconnect);
    mq().messageCallbackSet(handle, onMessage);

    keepalive_ = new QTimer(this);
    // The library's housekeeping (pings, the broker's silence) a few times per keepalive
    // period: a ping is never more than a quarter period late.
    keepalive_->setInterval(std::clamp(settings_.keepaliveS * 1000 / 4, 1000, 5000));
    connect(keepalive_, &QTimer::timeout, this,
            [this] { afterLoop(mq().loopMisc(shared_->handle)); });
    batch_ = new MessageBatch(this);
    connect(batch_, &MessageBatch::due, this, &MqttClient::flush);
    retry_ = new QTimer(this);
    retry_->setSingleShot(true);
    connect(retry_, &QTimer::timeout, this, &MqttClient::attempt);
    readAgain_ = new QTimer(this);
    readAgain_->setSingleShot(true);
    connect(readAgain_, &QTimer::timeout, this, [this] {
        if (!reader_)
            return;
        // What came during the gap is read at once, else the socket is watched again.
        if (sockets::bytesWaiting(mq().socket(shared_->handle)) > 0)
            readSocket();
        else
            reader_->setEnabled(true);
    });
    attempt();
}

// Not mosquitto_connect_async with mosquitto_loop_start: connect_async looks the name up on the
// calling thread (6.0 s on the window thread with a silent name server, 3 s x 2 tries), and
// mosquitto_loop_stop(false) waited 26-29 s for the library's thread with a broker that drops
// every packet, where this stop takes at most 1.0 s; the library's thread would also write the
// gathered messages itself, after the TCP_CORK in flush() is lifted.
void MqttClient::attempt() {
    if (attempt_.joinable())
        attempt_.join(); // it has told its result already
    attempting_ = true;
    answered_ = false;
    refusal_ = 0;
    shared_->verdict.error = 0;
    shared_->verdict.dateS = 0;
    // The name lookup, the connection and, with TLS, the start of the handshake; the
    // greeting goes out from there too. The socket is left non-blocking.
    attempt_ = std::thread([shared = shared_, host = settings_.host.toUtf8(), port = settings_.port,
                            keepalive = settings_.keepaliveS] {
        const int code = mq().connect(shared->handle, host.constData(), port, keepalive);
        const int systemError = errno;
        const std::lock_guard lock(shared->mutex);
        if (MqttClient* owner = shared->owner)
            QMetaObject::invokeMethod(
                owner, [owner, code, systemError] { owner->attemptFinished(code, systemError); },
                Qt::QueuedConnection);
    });
}

QString MqttClient::failureText(int code, int systemError) const {
    return publish::failureText({
        .code = code,
        .systemError = systemError,
        .refusal = refusal_,
        .verifyError = shared_ ? shared_->verdict.error.load() : 0,
        .certificateDateS = shared_ ? shared_->verdict.dateS.load() : 0,
        .answered = answered_,
        .tls = !settings_.tlsCa.isEmpty(),
        .host = settings_.host,
        .port = settings_.port,
        .username = settings_.username,
        .tlsCa = settings_.tlsCa,
    });
}

void MqttClient::attemptFinished(int code, int systemError) {
    if (!shared_)
        return; // stopped meanwhile
    attempting_ = false;
    if (code != MOSQ_ERR_SUCCESS) {
        lastError_ = failureText(code, systemError);
        emit failed(lastError_);
        retryLater();
        return;
    }
    watchSocket(mq().wantWrite(shared_->handle));
    keepalive_->start();
}

// Not mosquitto_reconnect_delay_set(1, 30, true), which only the library's own loop uses: its
// exponential wait grows with the square of the attempt (1, 4, 9, 16, 25, 30 s), this one
// doubles (1, 2, 4, 8, 16, 30 s).
void MqttClient::retryLater() {
    retry_->start(waitS_ * 1000);
    waitS_ = std::min(waitS_ * 2, kLongestWaitS);
}

void MqttClient::watchSocket(bool writable) {
    const int socket = mq().socket(shared_->handle);
    reader_ = new QSocketNotifier(socket, QSocketNotifier::Read, this);
    connect(reader_, &QSocketNotifier::activated, this, &MqttClient::readSocket);
    writer_ = new QSocketNotifier(socket, QSocketNotifier::Write, this);
    writer_->setEnabled(writable);
    connect(writer_, &QSocketNotifier::activated, this,
            [this] { afterLoop(mq().loopWrite(shared_->handle, 1)); });
}

void MqttClient::stopWatching() {
    if (batch_)
        lost_ += qint64(batch_->take().size());
    delete reader_;
    reader_ = nullptr;
    delete writer_;
    writer_ = nullptr;
    if (keepalive_)
        keepalive_->stop();
    if (readAgain_)
        readAgain_->stop();
}

void MqttClient::readSocket() {
    mosquitto* handle = shared_->handle;
    // The library reads one packet per call. Gathering, the socket holds what came during the
    // gap: read to its end (or to the bound) now. The library says the end by a read that
    // would block: success, with EAGAIN left in errno.
    int code = MOSQ_ERR_SUCCESS;
    for (int packets = 0; packets < kMostPacketsPerRead; ++packets) {
        errno = 0;
        code = mq().loopRead(handle, 1);
        if (code != MOSQ_ERR_SUCCESS || readGap_.count() <= 0 || errno == EAGAIN ||
            errno == EWOULDBLOCK)
            break;
    }
    const bool gathering = readGap_.count() > 0;
    afterLoop(code);
    if (gathering && reader_) {
        reader_->setEnabled(false);
        readAgain_->start(readGap_);
    }
}

void MqttClient::tellReceived() {
    spare_.clear();
    std::vector<Received> telling = std::exchange(received_, std::move(spare_));
    // A receiver may stop the client, or delete it.
    const QPointer<MqttClient> alive(this);
    for (const Received& message : telling) {
        if (!alive || !shared_)
            return;
        emit messageReceived(message.topic, message.payload, message.retained);
    }
    if (alive) {
        telling.clear();
        spare_ = std::move(telling);
    }
}

void MqttClient::afterLoop(int code) {
    const int systemError = errno;
    if (!reader_)
        return;
    mosquitto* handle = shared_->handle;
    if (code == MOSQ_ERR_SUCCESS && mq().socket(handle) >= 0) {
        writer_->setEnabled(mq().wantWrite(handle));
        return;
    }
    // The library has closed the socket: the notifiers go before its number is used again.
    stopWatching();
    if (mq().socket(handle) >= 0)
        mq().disconnect(handle);
    if (code != MOSQ_ERR_SUCCESS && code != MOSQ_ERR_CONN_REFUSED)
        lastError_ = failureText(code, systemError);
    if (connected_) {
        connected_ = false;
        emit connectedChanged(false);
    }
    emit failed(lastError_);
    retryLater();
}

void MqttClient::onConnect(mosquitto*, void* self, int code) {
    auto* client = static_cast<MqttClient*>(self);
    client->answered_ = true;
    if (code != 0) {
        client->refusal_ = code;
        client->lastError_ = client->failureText(MOSQ_ERR_CONN_REFUSED, 0);
        return;
    }
    client->lastError_.clear();
    client->waitS_ = 1;
    // The session is clean: each connection subscribes again.
    client->subscribeNow();
    if (!client->connected_) {
        client->connected_ = true;
        // After the read that brought the answer: what is published meanwhile is written
        // when the socket is watched again.
        QMetaObject::invokeMethod(
            client, [client] { emit client->connectedChanged(true); }, Qt::QueuedConnection);
    }
}

void MqttClient::onDisconnect(mosquitto*, void* self, int code) {
    auto* client = static_cast<MqttClient*>(self);
    if (code != 0 && code != MOSQ_ERR_CONN_REFUSED && client->lastError_.isEmpty())
        client->lastError_ = client->failureText(code, errno);
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto* client = static_cast<MqttClient*>(self);
    // Out of the library's read first: a receiver may publish, or stop the client. One call
    // tells every message of the read, in order.
    if (client->received_.empty())
        QMetaObject::invokeMethod(client, &MqttClient::tellReceived, Qt::QueuedConnection);
    client->received_.push_back(
        {QString::fromUtf8(message->topic),
         QByteArray(static_cast<const char*>(message->payload),
                    std::min<qsizetype>(message->payloadlen, kMostReceivedBytes + 1)),
         message->retain});
}

void MqttClient::subscribe(const QStringList& filters) {
    subscriptions_ = filters;
    if (connected_ && reader_) {
        subscribeNow();
        writer_->setEnabled(mq().wantWrite(shared_->handle));
    }
}

void MqttClient::subscribeNow() {
    for (const QString& filter : std::as_const(subscriptions_))
        mq().subscribe(shared_->handle, nullptr, filter.toUtf8().constData(), 1);
}

void MqttClient::stop(const QString& farewellTopic, const QByteArray& farewell) {
    if (!shared_)
        return;
    if (retry_)
        retry_->stop();
    mosquitto* handle = shared_->handle;
    if (!attempting_ && reader_) {
        // The farewell and the goodbye are small: the socket takes them at once.
        flush();
        if (connected_ && !farewellTopic.isEmpty())
            publish(farewellTopic, farewell, 1, true);
        mq().disconnect(handle);
        for (int i = 0; i < 10 && mq().wantWrite(handle); ++i)
            mq().loopWrite(handle, 1);
    }
    stopWatching();
    connected_ = false;
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->owner = nullptr;
    }
    // An attempt under way has the handle: it is destroyed when that attempt ends, which may
    // be after this object (a name lookup or a connection to a silent host).
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread closer([shared = shared_, attempt = std::move(attempt_), done]() mutable {
        if (attempt.joinable())
            attempt.join();
        mq().destroy(shared->handle);
        done->set_value();
    });
    // The program must end within 2 s of a stop signal, the goodbye included.
    if (finished.wait_for(std::chrono::milliseconds(1000)) == std::future_status::ready)
        closer.join();
    else
        closer.detach();
    shared_.reset();
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    if (!shared_ || !connected_ || !reader_)
        return false;
    flush(); // never ahead of the messages kept before it
    const int code = mq().publish(shared_->handle, nullptr, topic.toUtf8().constData(),
                                  int(payload.size()), payload.constData(), qos, retain);
    if (code != MOSQ_ERR_SUCCESS)
        return false;
    writer_->setEnabled(mq().wantWrite(shared_->handle));
    return true;
}

bool MqttClient::publishSoon(const QString& topic, const QByteArray& payload, int qos,
                             bool retain) {
    if (!shared_ || !connected_ || !reader_)
        return false;
    if (batch_->keep({topic.toUtf8(), payload, qos, retain}))
        flush();
    return true;
}

void MqttClient::flush() {
    if (batch_->empty() || !reader_)
        return;
    mosquitto* handle = shared_->handle;
    const int socket = mq().socket(handle);
    // Corked, the messages leave together when it is uncorked.
    sockets::cork(socket, true);
    for (const MessageBatch::Message& message : batch_->take()) {
        if (mq().publish(handle, nullptr, message.topic.constData(), int(message.payload.size()),
                         message.payload.constData(), message.qos,
                         message.retain) != MOSQ_ERR_SUCCESS)
            ++lost_;
    }
    sockets::cork(socket, false);
    writer_->setEnabled(mq().wantWrite(handle));
}

} // namespace publish
