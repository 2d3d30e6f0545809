#pragma once

#include <QByteArray>
#include <QObject>

#include <chrono>
#include <vector>

class QTimer;

namespace publish {

// Messages kept to be written together: the readings of a second leave in one write. Full
// after kMostKept messages or once the first has waited kGatherMs; when no message follows,
// due() comes 2 × kGatherMs after the first (no timer wakes the program while messages come
// often: the next one finds the batch full).
class MessageBatch : public QObject {
    Q_OBJECT

public:
    struct Message {
        QByteArray topic;
        QByteArray payload;
        int qos;
        bool retain;
    };

    static constexpr int kGatherMs = 1000;
    static constexpr int kMostKept = 64;

    explicit MessageBatch(QObject* parent = nullptr);

    // Keeps one, in the order given; true when the batch should be written now.
    bool keep(Message message);
    // Everything kept, oldest first; the batch is empty afterwards.
    std::vector<Message> take();
    bool empty() const { return kept_.empty(); }

signals:
    void due();

private:
    std::vector<Message> kept_;
    std::chrono::steady_clock::time_point keptSince_;
    QTimer* gather_ = nullptr;
};

} // namespace publish
