#pragma once

#include "notify/send_reasons.h"

#include <QObject>
#include <QThread>

#include <atomic>
#include <functional>

namespace notify {

// A thread of its own for one channel's network tries: a server that hangs holds up that
// channel only, never the window thread and so never the polls. Started when made.
class SendThread : public QObject {
    Q_OBJECT

public:
    explicit SendThread(const QString& name, QObject* parent = nullptr);
    // Ends a try under way early (libcurl looks at the stop flag at least once a second) and
    // waits for the thread.
    ~SendThread() override;

    // Runs `work` on the thread; `done` gets its outcome back on this object's thread, unless
    // this object is gone by then.
    void run(std::function<Outcome()> work, std::function<void(const Outcome&)> done);

    const std::atomic<bool>* stopFlag() const { return &stop_; }

private:
    QThread thread_;
    QObject* worker_;
    std::atomic<bool> stop_{false};
};

} // namespace notify
