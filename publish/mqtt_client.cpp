#include "publish/mqtt_client.h"

#include <QMetaObject>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>

namespace publish {

struct MqttClient::Shared {
    mosquitto* handle = nullptr;
    std::mutex mutex;
    std::condition_variable wake;
    MqttClient* owner = nullptr; // under mutex; null once stop() has begun
    bool stopping = false;       // under mutex
    bool loopRunning = false;    // under mutex

    // Runs fn on the owner's thread, unless the owner has stopped.
    template <typename Fn> void tellOwner(Fn fn) {
        const std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(owner, [owner = owner, fn] { fn(*owner); },
                                      Qt::QueuedConnection);
    }
};

namespace {

void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

constexpr int kLongestWaitS = 30;

} // namespace

QString errorText(int code) {
    switch (code) {
    case MOSQ_ERR_SUCCESS:
        return {};
    case MOSQ_ERR_EAI:
        return QStringLiteral("nome do broker não encontrado");
    case MOSQ_ERR_ERRNO:
    case MOSQ_ERR_NO_CONN:
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("conexão recusada ou rede indisponível");
    case MOSQ_ERR_TLS:
    case MOSQ_ERR_TLS_HANDSHAKE:
        return QStringLiteral("falha no TLS (certificado não aceito)");
    case MOSQ_ERR_NOMEM:
        return QStringLiteral("memória insuficiente");
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("o broker deixou de responder");
    default:
        return QStringLiteral("erro %1 da biblioteca MQTT").arg(code);
    }
}

QString refusalText(int code) {
    switch (code) {
    case 0:
        return {};
    case 1:
        return QStringLiteral("versão do protocolo recusada pelo broker");
    case 2:
        return QStringLiteral("client_id recusado pelo broker");
    case 3:
        return QStringLiteral("broker indisponível");
    case 4:
        return QStringLiteral("usuário ou senha recusados pelo broker");
    case 5:
        return QStringLiteral("conexão não autorizada pelo broker");
    default:
        return QStringLiteral("conexão recusada pelo broker (código %1)").arg(code);
    }
}

MqttClient::MqttClient(MqttSettings settings, Will will, QObject* parent)
    : QObject(parent), settings_(std::move(settings)), will_(std::move(will)) {}

MqttClient::~MqttClient() {
    stop();
}

void MqttClient::start() {
    if (shared_)
        return;
    initLibrary();
    shared_ = std::make_shared<Shared>();
    shared_->owner = this;
    mosquitto* handle =
        mosquitto_new(settings_.clientId.toUtf8().constData(), true, shared_.get());
    if (!handle) {
        noteFailure(MOSQ_ERR_NOMEM);
        shared_.reset();
        return;
    }
    shared_->handle = handle;
    const QByteArray willTopic = will_.topic.toUtf8();
    if (!willTopic.isEmpty())
        mosquitto_will_set(handle, willTopic.constData(), int(will_.payload.size()),
                           will_.payload.constData(), 1, true);
    if (!settings_.username.isEmpty() || !settings_.password.isEmpty()) {
        const QByteArray user = settings_.username.toUtf8();
        const QByteArray password = settings_.password.toUtf8();
        mosquitto_username_pw_set(handle, user.isEmpty() ? nullptr : user.constData(),
                                  password.isEmpty() ? nullptr : password.constData());
    }
    if (!settings_.tlsCa.isEmpty()) {
        const int rc = mosquitto_tls_set(handle, settings_.tlsCa.toLocal8Bit().constData(), nullptr,
                                         nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            noteFailure(MOSQ_ERR_TLS);
            return;
        }
    }
    mosquitto_reconnect_delay_set(handle, 1, kLongestWaitS, true);
    mosquitto_connect_callback_set(handle, [](mosquitto*, void* data, int code) {
        static_cast<Shared*>(data)->tellOwner([code](MqttClient& c) { c.noteConnected(code); });
    });
    mosquitto_disconnect_callback_set(handle, [](mosquitto*, void* data, int code) {
        static_cast<Shared*>(data)->tellOwner([code](MqttClient& c) { c.noteDisconnected(code); });
    });

    // The name lookup and the first connection may take long: they run here, and the first
    // failures are retried here too, with the same growing waits as the network thread's.
    starter_ = std::thread([shared = shared_, host = settings_.host.toUtf8(),
                            port = settings_.port, keepalive = settings_.keepaliveS] {
        int waitS = 1;
        for (;;) {
            const int rc = mosquitto_connect_async(shared->handle, host.constData(), port, keepalive);
            std::unique_lock lock(shared->mutex);
            if (shared->stopping)
                return;
            if (rc == MOSQ_ERR_SUCCESS && mosquitto_loop_start(shared->handle) == MOSQ_ERR_SUCCESS) {
                shared->loopRunning = true;
                return;
            }
            lock.unlock();
            shared->tellOwner([rc](MqttClient& c) { c.noteFailure(rc); });
            lock.lock();
            if (shared->wake.wait_for(lock, std::chrono::seconds(waitS),
                                      [&] { return shared->stopping; }))
                return;
            waitS = std::min(waitS * 2, kLongestWaitS);
        }
    });
}

void MqttClient::stop(const QString& farewellTopic, const QByteArray& farewell) {
    if (!shared_)
        return;
    if (connected_ && !farewellTopic.isEmpty())
        publish(farewellTopic, farewell, 1, true);
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
        shared_->owner = nullptr;
    }
    shared_->wake.notify_all();
    connected_ = false;

    // The farewell and the goodbye go out on the network thread; a thread stuck in a name
    // lookup or a connection to a silent host is left behind after two seconds, with what it
    // uses, rather than holding the program's end.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::thread closer([shared = shared_, starter = std::move(starter_), done]() mutable {
        if (starter.joinable())
            starter.join();
        if (shared->loopRunning) {
            mosquitto_disconnect(shared->handle);
            mosquitto_loop_stop(shared->handle, false);
        }
        mosquitto_destroy(shared->handle);
        done->set_value();
    });
    if (finished.wait_for(std::chrono::seconds(2)) == std::future_status::ready)
        closer.join();
    else
        closer.detach();
    shared_.reset();
}

bool MqttClient::publish(const QString& topic, const QByteArray& payload, int qos, bool retain) {
    if (!shared_ || !connected_)
        return false;
    return mosquitto_publish(shared_->handle, nullptr, topic.toUtf8().constData(),
                             int(payload.size()), payload.constData(), qos,
                             retain) == MOSQ_ERR_SUCCESS;
}

void MqttClient::noteConnected(int code) {
    if (code != 0) {
        lastError_ = refusalText(code);
        emit failed(lastError_);
        return;
    }
    lastError_.clear();
    if (!connected_) {
        connected_ = true;
        emit connectedChanged(true);
    }
}

void MqttClient::noteDisconnected(int code) {
    if (code != 0)
        lastError_ = errorText(MOSQ_ERR_CONN_LOST);
    if (connected_) {
        connected_ = false;
        emit connectedChanged(false);
    }
}

void MqttClient::noteFailure(int code) {
    lastError_ = errorText(code);
    emit failed(lastError_);
}

} // namespace publish
