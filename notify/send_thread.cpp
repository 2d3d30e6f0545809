#include "notify/send_thread.h"

#include <QPointer>

namespace notify {

SendThread::SendThread(const QString& name, QObject* parent)
    : QObject(parent), worker_(new QObject) {
    thread_.setObjectName(name);
    worker_->moveToThread(&thread_);
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    thread_.start();
}

SendThread::~SendThread() {
    stop_ = true;
    thread_.quit();
    thread_.wait();
}

void SendThread::run(std::function<Outcome()> work, std::function<void(const Outcome&)> done) {
    QPointer<SendThread> back(this);
    QMetaObject::invokeMethod(worker_, [back, work = std::move(work), done = std::move(done)] {
        const Outcome outcome = work();
        if (!back)
            return;
        // Queued to the caller's thread; dropped if it is gone by then.
        QMetaObject::invokeMethod(back.data(), [back, done, outcome] {
            if (back)
                done(outcome);
        });
    });
}

} // namespace notify
