#include "publish/mosquitto_library.h"

#include "toolkit/library_calls.h"

#include <QLibrary>

namespace publish {

namespace {

using toolkit::resolve;

using Loaded = toolkit::OpenedLibrary<MosquittoApi>;

Loaded open() {
    Loaded loaded;
    QLibrary library(QStringLiteral("mosquitto"), 1);
    if (!library.load()) {
        loaded.why = QStringLiteral("a biblioteca libmosquitto não pôde ser carregada (%1); "
                                    "instale o pacote libmosquitto1")
                         .arg(library.errorString());
        return loaded;
    }
    decltype(&mosquitto_lib_init) libInit = nullptr;
    MosquittoApi& api = loaded.api;
    const bool all =
        resolve(library, "mosquitto_lib_init", libInit) &&
        resolve(library, "mosquitto_new", api.create) &&
        resolve(library, "mosquitto_destroy", api.destroy) &&
        resolve(library, "mosquitto_will_set", api.willSet) &&
        resolve(library, "mosquitto_username_pw_set", api.usernamePwSet) &&
        resolve(library, "mosquitto_void_option", api.voidOption) &&
        resolve(library, "mosquitto_int_option", api.intOption) &&
        resolve(library, "mosquitto_connect_callback_set", api.connectCallbackSet) &&
        resolve(library, "mosquitto_disconnect_callback_set", api.disconnectCallbackSet) &&
        resolve(library, "mosquitto_message_callback_set", api.messageCallbackSet) &&
        resolve(library, "mosquitto_connect", api.connect) &&
        resolve(library, "mosquitto_disconnect", api.disconnect) &&
        resolve(library, "mosquitto_socket", api.socket) &&
        resolve(library, "mosquitto_want_write", api.wantWrite) &&
        resolve(library, "mosquitto_loop_read", api.loopRead) &&
        resolve(library, "mosquitto_loop_write", api.loopWrite) &&
        resolve(library, "mosquitto_loop_misc", api.loopMisc) &&
        resolve(library, "mosquitto_publish", api.publish) &&
        resolve(library, "mosquitto_subscribe", api.subscribe);
    if (!all || libInit() != MOSQ_ERR_SUCCESS) {
        loaded.why = QStringLiteral("a biblioteca libmosquitto desta máquina não serve; "
                                    "instale o pacote libmosquitto1");
        return loaded;
    }
    // Kept loaded for the rest of the program: QLibrary's destructor does not unload it.
    loaded.ok = true;
    return loaded;
}

} // namespace

const MosquittoApi* loadMosquitto(QString* why) {
    return toolkit::openOnce<MosquittoApi>(open, why);
}

} // namespace publish
