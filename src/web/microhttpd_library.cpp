#include "web/microhttpd_library.h"

#include "dynamic/dynamic_library.h"

namespace web {

const MicroHttpd* microHttpd(QString* error) {
    static const dynamic::Loaded<MicroHttpd> loaded = [] {
        dynamic::DynamicLibrary library("libmicrohttpd.so.12");
        MicroHttpd f{};
        library.get(&f.startDaemon, "MHD_start_daemon");
        library.get(&f.stopDaemon, "MHD_stop_daemon");
        library.get(&f.daemonInfo, "MHD_get_daemon_info");
        library.get(&f.connectionInfo, "MHD_get_connection_info");
        library.get(&f.lookupValue, "MHD_lookup_connection_value");
        library.get(&f.responseFromBuffer, "MHD_create_response_from_buffer");
        library.get(&f.addHeader, "MHD_add_response_header");
        library.get(&f.queueResponse, "MHD_queue_response");
        library.get(&f.destroyResponse, "MHD_destroy_response");
        return dynamic::Loaded<MicroHttpd>(library, f);
    }();
    return loaded.get(error);
}

} // namespace web
