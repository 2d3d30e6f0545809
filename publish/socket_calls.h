#pragma once

// The two socket calls the MQTT client makes besides the library's own, per system.
namespace publish::sockets {

// The bytes the system holds for reading on `socket`; 0 when it cannot tell.
int bytesWaiting(int socket);

// While corked, small writes wait and leave together when it is uncorked (TCP_CORK); nothing
// on Windows, whose stack has no such switch (its own coalescing applies).
void cork(int socket, bool on);

// What a failed connection's system error means for the user, whatever number the system
// gives it (errno; on Windows the Winsock code the library leaves in errno).
enum class Failure { Refused, Unreachable, Reset, Other };
Failure classify(int systemError);

} // namespace publish::sockets
