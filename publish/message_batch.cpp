#include "publish/message_batch.h"

#include <QTimer>

#include <utility>

namespace publish {

MessageBatch::MessageBatch(QObject* parent) : QObject(parent), gather_(new QTimer(this)) {
    gather_->setSingleShot(true);
    connect(gather_, &QTimer::timeout, this, &MessageBatch::due);
}

bool MessageBatch::keep(Message message) {
    const auto now = std::chrono::steady_clock::now();
    if (kept_.empty()) {
        keptSince_ = now;
        // Only when the messages stop coming: otherwise the next one writes them all.
        gather_->start(2 * kGatherMs);
    }
    kept_.push_back(std::move(message));
    return kept_.size() >= kMostKept || now - keptSince_ >= std::chrono::milliseconds(kGatherMs);
}

std::vector<MessageBatch::Message> MessageBatch::take() {
    gather_->stop();
    return std::exchange(kept_, {});
}

} // namespace publish
