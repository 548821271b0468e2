#pragma once

#include <QString>
#include <microhttpd.h>

namespace web {

// libmicrohttpd (and the TLS library under it, whose set-up at load takes milliseconds) is loaded
// when the run's page is first started, not with the program: most starts have the page off.

// The functions of libmicrohttpd the server uses.
struct MicroHttpd {
    decltype(&MHD_start_daemon) startDaemon;
    decltype(&MHD_stop_daemon) stopDaemon;
    decltype(&MHD_get_daemon_info) daemonInfo;
    decltype(&MHD_get_connection_info) connectionInfo;
    decltype(&MHD_lookup_connection_value) lookupValue;
    decltype(&MHD_create_response_from_buffer) responseFromBuffer;
    decltype(&MHD_add_response_header) addHeader;
    decltype(&MHD_queue_response) queueResponse;
    decltype(&MHD_destroy_response) destroyResponse;
};

// The library, or null with `error` saying what is missing.
const MicroHttpd* microHttpd(QString* error);

} // namespace web
