#pragma once

// A pseudo-terminal pair standing in for the bus: the program opens the slave's path as its
// serial port, and the test plays the stations on the master side.

#include <QByteArray>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <chrono>
#include <string>

class Pty {
public:
    Pty() {
        char name[256] = {};
        if (openpty(&master_, &slave_, name, nullptr, nullptr) == 0)
            path_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        ::close(slave_);
        ::close(master_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& path() const { return path_; }

    // Everything the program sent that arrives within `wait`.
    QByteArray received(std::chrono::milliseconds wait = std::chrono::milliseconds(50)) const {
        QByteArray bytes;
        pollfd p{master_, POLLIN, 0};
        while (::poll(&p, 1, static_cast<int>(wait.count())) > 0) {
            char buffer[512];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

    void send(const QByteArray& bytes) const {
        [[maybe_unused]] const ssize_t n = ::write(master_, bytes.constData(), bytes.size());
    }

private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
};
