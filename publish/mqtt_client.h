#pragma once

#include "publish/mqtt_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <thread>

class QSocketNotifier;
struct mosquitto;
class QTimer;

namespace publish {

// One connection to the broker, driven by libmosquitto from this object's event loop: its
// socket through socket notifiers, its keepalive through a timer, and a publish written to
// the socket at once without waiting (the socket never blocks). Only the name lookup and the
// start of each connection attempt, which may take long, run on a short-lived thread of their
// own; failed attempts are retried with waits growing from 1 s to 30 s.
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
    // Publishes the farewell (if connected) and says goodbye to the broker; an attempt still
    // looking up the broker's name is left behind after about two seconds.
    void stop(const QString& farewellTopic = {}, const QByteArray& farewell = {});

    bool connected() const { return connected_; }
    // Why the last attempt failed, in Portuguese; empty when connected or still trying.
    QString lastError() const { return lastError_; }

    // Writes one message, or queues what the socket cannot take yet; false when not connected
    // (then nothing is kept).
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);

signals:
    void connectedChanged(bool connected);
    void failed(const QString& reason);

private:
    struct Shared;

    void attempt();
    void attemptFinished(int code);
    void retryLater();
    // What a loop call of the library returned: a failure ends the connection.
    void afterLoop(int code);
    void watchSocket(bool writable);
    void stopWatching();

    static void onConnect(::mosquitto* handle, void* self, int code);
    static void onDisconnect(::mosquitto* handle, void* self, int code);

    MqttSettings settings_;
    Will will_;
    // What an attempt's thread shares with this object; it outlives the object when a thread
    // is left behind at stop().
    std::shared_ptr<Shared> shared_;
    std::thread attempt_;
    bool attempting_ = false; // the thread has the handle: nobody else touches it
    bool everConnected_ = false;
    int waitS_ = 1;
    QSocketNotifier* reader_ = nullptr;
    QSocketNotifier* writer_ = nullptr;
    QTimer* keepalive_ = nullptr;
    QTimer* retry_ = nullptr;
    bool connected_ = false;
    QString lastError_;
};

// "conexão recusada ou rede indisponível", ...: a libmosquitto error code in Portuguese.
QString errorText(int code);
// The broker's answer to a connection, in Portuguese.
QString refusalText(int code);

} // namespace publish
