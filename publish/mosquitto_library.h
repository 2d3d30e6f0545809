#pragma once

#include <mosquitto.h>

#include <QString>

namespace publish {

// The calls of libmosquitto the client makes. The library, and OpenSSL through it, is opened
// when the first connection to a broker starts: a station without [mqtt] never loads them.
struct MosquittoApi {
    decltype(&mosquitto_new) create;
    decltype(&mosquitto_destroy) destroy;
    decltype(&mosquitto_will_set) willSet;
    decltype(&mosquitto_username_pw_set) usernamePwSet;
    decltype(&mosquitto_void_option) voidOption;
    decltype(&mosquitto_int_option) intOption;
    decltype(&mosquitto_connect_callback_set) connectCallbackSet;
    decltype(&mosquitto_disconnect_callback_set) disconnectCallbackSet;
    decltype(&mosquitto_message_callback_set) messageCallbackSet;
    decltype(&mosquitto_connect) connect;
    decltype(&mosquitto_disconnect) disconnect;
    decltype(&mosquitto_socket) socket;
    decltype(&mosquitto_want_write) wantWrite;
    decltype(&mosquitto_loop_read) loopRead;
    decltype(&mosquitto_loop_write) loopWrite;
    decltype(&mosquitto_loop_misc) loopMisc;
    decltype(&mosquitto_publish) publish;
    decltype(&mosquitto_subscribe) subscribe;
};

// Opens libmosquitto once and sets it up; nullptr when it cannot be opened, with why (in
// Portuguese, as a clause of the connection's failure).
const MosquittoApi* loadMosquitto(QString* why = nullptr);

} // namespace publish
