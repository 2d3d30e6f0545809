#pragma once

#include <QString>

namespace sim {

// The simulated USB adapter: a pseudo-terminal whose slave is reached through a symbolic
// link. We keep a slave descriptor of our own, so the station program can close and reopen
// the port without the master seeing a hang-up.
class PtyPort {
public:
    PtyPort() = default;
    ~PtyPort();
    PtyPort(const PtyPort&) = delete;
    PtyPort& operator=(const PtyPort&) = delete;

    // Creates a fresh pseudo-terminal and points `linkPath` at it; returns an error text.
    QString open(const QString& linkPath);
    // Closes both sides and removes the link, as when the adapter is pulled out.
    void close();

    bool isOpen() const { return masterFd_ >= 0; }
    int masterFd() const { return masterFd_; }
    // Readable when some user of the slave closes it; -1 when unavailable.
    int watchFd() const { return watchFd_; }
    const QString& slaveName() const { return slaveName_; }

    // The user closed the port: as a real adapter would, drop what it never read, and lift
    // the exclusive mode it set, which our own open slave would otherwise keep in force.
    void userClosed();

private:
    void removeLink();

    int masterFd_ = -1;
    int slaveFd_ = -1;
    int watchFd_ = -1;
    QString linkPath_;
    QString slaveName_;
};

} // namespace sim
