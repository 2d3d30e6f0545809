// Drives a real anemosim process through its pseudo-terminal, as the station program would.
#pragma once

#include "modbus/rtu.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

constexpr int kStartTimeoutMs = 10000;
constexpr int kSilenceWaitMs = 300;

inline QByteArray withCrc(const QByteArray& frame) {
    modbus::Bytes bytes(frame.begin(), frame.end());
    modbus::appendCrc(bytes);
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

inline QByteArray request(int address, int function = 3, int first = 0, int count = 6) {
    QByteArray header;
    for (int value : {address, function, first >> 8, first, count >> 8, count})
        header.append(static_cast<char>(value & 0xFF));
    return withCrc(header);
}

inline int at(const QByteArray& bytes, int index) {
    return static_cast<std::uint8_t>(bytes.at(index));
}

inline bool crcGood(const QByteArray& reply) {
    modbus::CrcRegister crc;
    return reply.size() >= 3 &&
           modbus::replyCrcGood(std::span(reinterpret_cast<const std::uint8_t*>(reply.constData()),
                                          static_cast<std::size_t>(reply.size())),
                                crc);
}

// What the station program accepts as a good reply to `address`, and a full one.
inline bool goodReply(const QByteArray& reply, int address) {
    const modbus::LastRequest request{std::uint8_t(address), modbus::kReadHoldingRegisters, 0, 0, 0,
                                      modbus::kRegisterCount};
    modbus::CrcRegister crc;
    return reply.size() == modbus::kReplyBytes && at(reply, 2) == 2 * modbus::kRegisterCount &&
           modbus::checkReply(std::span(reinterpret_cast<const std::uint8_t*>(reply.constData()),
                                        std::size_t(reply.size())),
                              request, crc) == modbus::ReplyKind::Good;
}

inline int reg(const QByteArray& reply, int index) {
    return at(reply, 3 + 2 * index) << 8 | at(reply, 4 + 2 * index);
}

// One anemosim process with its link in a fresh temporary folder.
class RunningBus {
public:
    explicit RunningBus(const QStringList& arguments)
        : linkPath(folder.filePath(QStringLiteral("ttySIM"))) {
        process.start(QStringLiteral(ANEMOSIM_PATH),
                      QStringList{QStringLiteral("--link"), linkPath} + arguments);
        QElapsedTimer clock;
        clock.start();
        while (!output.contains("barramento simulado em") && clock.elapsed() < kStartTimeoutMs &&
               process.state() != QProcess::NotRunning) {
            process.waitForReadyRead(100);
            output += process.readAllStandardOutput();
        }
    }
    ~RunningBus() {
        for (int fd : fds)
            ::close(fd);
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(2000);
    }

    bool started() const { return output.contains("barramento simulado em " + linkPath.toUtf8()); }
    bool linkExists() const {
        struct stat info {};
        return ::lstat(QFile::encodeName(linkPath).constData(), &info) == 0;
    }

    // Opens the link the way the station program does: raw, no controlling terminal.
    int openPort() {
        const int fd =
            ::open(QFile::encodeName(linkPath).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd >= 0) {
            termios settings{};
            ::tcgetattr(fd, &settings);
            ::cfmakeraw(&settings);
            ::tcsetattr(fd, TCSANOW, &settings);
            fds.push_back(fd);
        }
        return fd;
    }

    void collectOutput() {
        process.waitForReadyRead(0);
        output += process.readAllStandardOutput();
    }

    QTemporaryDir folder;
    QString linkPath;
    QProcess process;
    QByteArray output;
    std::vector<int> fds;
};

// Reads until `waitMs` have passed, or 40 ms after the last byte once something has come.
inline QByteArray readReply(int fd, int waitMs, qint64* firstCompleteMs = nullptr) {
    QByteArray reply;
    QElapsedTimer clock;
    clock.start();
    qint64 lastByteMs = -1;
    while (clock.elapsed() < waitMs && (lastByteMs < 0 || clock.elapsed() - lastByteMs < 40)) {
        pollfd port{fd, POLLIN, 0};
        if (::poll(&port, 1, 5) > 0 && (port.revents & POLLIN)) {
            char buffer[256];
            const ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count > 0) {
                reply.append(buffer, count);
                lastByteMs = clock.elapsed();
                if (firstCompleteMs && *firstCompleteMs < 0 && reply.size() >= 17)
                    *firstCompleteMs = lastByteMs;
            }
        }
    }
    return reply;
}

inline QByteArray ask(int fd, const QByteArray& frame, int waitMs = 1000) {
    if (::write(fd, frame.constData(), static_cast<size_t>(frame.size())) != frame.size())
        return "write failed";
    return readReply(fd, waitMs);
}

inline bool waitFor(const std::function<bool()>& condition, int timeoutMs = 3000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace simtest
