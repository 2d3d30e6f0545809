#include "publish/socket_calls.h"

#include <cerrno>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace publish::sockets {

int bytesWaiting(int socket) {
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 ? waiting : 0;
}

void cork(int socket, bool on) {
    const int value = on ? 1 : 0;
    ::setsockopt(socket, IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

Failure classify(int systemError) {
    switch (systemError) {
    case ECONNREFUSED:
        return Failure::Refused;
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
        return Failure::Unreachable;
    case ECONNRESET:
    case EPIPE:
        return Failure::Reset;
    default:
        return Failure::Other;
    }
}

} // namespace publish::sockets
