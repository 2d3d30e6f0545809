#include "publish/socket_calls.h"

#include <winsock2.h>

namespace publish::sockets {

int bytesWaiting(int socket) {
    u_long waiting = 0;
    return ::ioctlsocket(SOCKET(socket), FIONREAD, &waiting) == 0 ? int(waiting) : 0;
}

void cork(int, bool) {}

Failure classify(int systemError) {
    switch (systemError) {
    case WSAECONNREFUSED:
        return Failure::Refused;
    case WSAETIMEDOUT:
    case WSAEHOSTUNREACH:
    case WSAENETUNREACH:
    case WSAEHOSTDOWN:
        return Failure::Unreachable;
    case WSAECONNRESET:
    case WSAECONNABORTED:
        return Failure::Reset;
    default:
        return Failure::Other;
    }
}

} // namespace publish::sockets
