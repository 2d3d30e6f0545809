#pragma once

#include "publish/mqtt_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

namespace publish {

// One connection to the broker, run by libmosquitto on threads of its own: the name lookup
// and the first connection on a starter thread, then the library's network thread, which
// reconnects with waits growing from 1 s to 30 s. Nothing here waits for the network on the
// caller's thread: publish() only queues. What the threads learn comes back to this object's
// thread as queued calls.
class MqttClient : public QObject {
    Q_OBJECT

public:
    // The last will, published by the broker when the connection dies without a goodbye.
    struct Will {
        QString topic;
        QByteArray payload;
    };

    MqttClient(MqttSettings settings, Will will, QObject* parent = nullptr);
    // Ends as stop() does.
    ~MqttClient() override;

    void start();
    // Publishes the farewell (if connected) and disconnects; waits at most about two seconds
    // for the network thread, and leaves it behind after that.
    void stop(const QString& farewellTopic = {}, const QByteArray& farewell = {});

    bool connected() const { return connected_; }
    // Why the last attempt failed, in Portuguese; empty when connected or still trying.
    QString lastError() const { return lastError_; }

    // Queues one message; false when not connected (then nothing is queued).
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);

signals:
    void connectedChanged(bool connected);
    void failed(const QString& reason);

private:
    struct Shared;

    void noteConnected(int code);
    void noteDisconnected(int code);
    void noteFailure(int code);

    MqttSettings settings_;
    Will will_;
    // What the threads share with this object; it outlives the object when a thread is left
    // behind at stop().
    std::shared_ptr<Shared> shared_;
    std::thread starter_;
    bool connected_ = false;
    QString lastError_;
};

// "conexão recusada", "nome não encontrado", ...: a libmosquitto error code in Portuguese.
QString errorText(int code);
// The broker's answer to a connection, in Portuguese.
QString refusalText(int code);

} // namespace publish
