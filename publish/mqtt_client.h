#pragma once

#include "publish/message_batch.h"
#include "publish/mqtt_settings.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;
class QTimer;

namespace publish {

// One connection to the broker, driven by libmosquitto from this object's event loop: its
// socket through socket notifiers, its keepalive through a timer, and a publish written to
// the socket without waiting (the socket never blocks). Frequent messages may be gathered and
// written together about once a second, in one TCP segment: sending costs the station PC far
// more per segment than per byte. Only the name lookup and the start of each connection attempt,
// which may take long, run on a short-lived thread of their own; failed attempts are retried
// with waits growing from 1 s to 30 s.
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
    // Topic filters subscribed to (QoS 1) on every connection, from the next one on or at once
    // when connected. Each message that comes is told by messageReceived.
    void subscribe(const QStringList& filters);
    // Publishes the farewell (if connected) and says goodbye to the broker; an attempt still
    // looking up the broker's name is left behind after a second.
    void stop(const QString& farewellTopic = {}, const QByteArray& farewell = {});

    bool connected() const { return connected_; }
    // Why the last attempt failed, in Portuguese, as a clause that says what to change;
    // empty when connected or still trying.
    QString lastError() const { return lastError_; }

    // Writes one message (after the kept ones), or queues what the socket cannot take yet;
    // false when not connected (then nothing is kept).
    bool publish(const QString& topic, const QByteArray& payload, int qos, bool retain);
    // Keeps the message for the next gathered write, in the order given: with the first
    // message kept a second before it, or 2 s after the first was kept when no message follows
    // (no timer wakes the program while messages come often). False when not connected.
    // Messages kept when the connection ends are lost and counted.
    bool publishSoon(const QString& topic, const QByteArray& payload, int qos, bool retain);
    // Writes the kept messages now.
    void flush();
    // Messages kept for a gathered write that the end of a connection discarded.
    qint64 lostMessages() const { return lost_; }

    // After each read the socket is left alone for `gap`, then read to its end: messages that
    // come often are told a batch at a time, one wake-up of the program for each batch rather
    // than for each message. Zero (the default): each read as soon as it comes.
    void gatherReads(std::chrono::milliseconds gap) { readGap_ = gap; }

    static constexpr int kGatherMs = MessageBatch::kGatherMs;
    // Packets read at most in one go, so that a burst leaves the event loop room between reads.
    static constexpr int kMostPacketsPerRead = 256;
    static constexpr int kMostKept = MessageBatch::kMostKept;
    // A message that comes longer than this is told cut to one byte more, so the receiver can
    // see it is too long without the program holding a copy of what a broker let through.
    static constexpr qsizetype kMostReceivedBytes = 64 * 1024;

signals:
    void connectedChanged(bool connected);
    void failed(const QString& reason);
    // A message on a subscribed topic, told from the event loop after the read that brought
    // it, never from inside the library; the messages of one read are told one after another.
    void messageReceived(const QString& topic, const QByteArray& payload, bool retained);

private:
    struct Shared;

    void attempt();
    void attemptFinished(int code, int systemError);
    void retryLater();
    // What a loop call of the library returned: a failure ends the connection.
    void afterLoop(int code);
    // Why the connection failed, from the library's code and what else is known of it.
    QString failureText(int code, int systemError) const;
    void watchSocket(bool writable);
    void stopWatching();
    void readSocket();
    void tellReceived();

    static void onConnect(::mosquitto* handle, void* self, int code);
    static void onDisconnect(::mosquitto* handle, void* self, int code);
    static void onMessage(::mosquitto* handle, void* self, const ::mosquitto_message* message);
    void subscribeNow();

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
    QTimer* readAgain_ = nullptr;
    std::chrono::milliseconds readGap_{0};
    struct Received {
        QString topic;
        QByteArray payload;
        bool retained;
    };
    std::vector<Received> received_; // read, to be told from the event loop
    std::vector<Received> spare_;    // told already: its room kept for the next read's
    MessageBatch* batch_ = nullptr;
    bool connected_ = false;
    bool answered_ = false; // the broker answered this connection's greeting
    int refusal_ = 0;       // its refusal code
    QString lastError_;
    qint64 lost_ = 0;
    QStringList subscriptions_;
};

} // namespace publish
