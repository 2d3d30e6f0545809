#pragma once

// A FIFO made at a path for one test, with a writer that comes after a while: a reader that
// waits for a writer is let go then (and given `bytes`), so that a program that would hang on
// the FIFO makes the test fail instead, and the test can ask whether anyone waited.

#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

class FifoGuard {
public:
    explicit FifoGuard(const QString& path, QByteArray bytes = {},
                       std::chrono::milliseconds after = std::chrono::milliseconds(3000))
        : path_(QFile::encodeName(path)), bytes_(std::move(bytes)) {
        ::unlink(path_.constData());
        made_ = ::mkfifo(path_.constData(), 0600) == 0;
        thread_ = std::thread([this, after] {
            const auto deadline = std::chrono::steady_clock::now() + after;
            while (!stop_) {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (std::chrono::steady_clock::now() < deadline)
                    continue;
                // Succeeds only while someone has the FIFO open for reading, or waits to.
                const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
                if (fd < 0)
                    continue;
                waited_ = true;
                [[maybe_unused]] const ssize_t written =
                    ::write(fd, bytes_.constData(), bytes_.size());
                ::close(fd);
                return;
            }
        });
    }
    ~FifoGuard() {
        stop_ = true;
        thread_.join();
        ::unlink(path_.constData());
    }
    FifoGuard(const FifoGuard&) = delete;
    FifoGuard& operator=(const FifoGuard&) = delete;

    bool made() const { return made_; }
    // Someone opened the FIFO for reading and had to be let go.
    bool readerWaited() const { return waited_; }

private:
    QByteArray path_;
    QByteArray bytes_;
    bool made_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<bool> waited_{false};
    std::thread thread_;
};
