#include "publish/socket_calls.h"

#include <winsock2.h>

namespace publish::sockets {

int bytesWaiting(int socket) {
    u_long waiting = 0;
    return ::ioctlsocket(SOCKET(socket), FIONREAD, &waiting) == 0 ? int(waiting) : 0;
}

void cork(int, bool) {}

} // namespace publish::sockets
