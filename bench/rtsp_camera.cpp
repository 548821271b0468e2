// A network camera on the loopback interface, for bench_stall: either a real RTSP camera
// (a test pattern as 320 x 240 JPEG at 30 fps, rtsp://127.0.0.1:PORT/cam) or, in its place, a
// listener that accepts connections and never answers.
//
//   rtsp_camera serve|mute PORT
//
// It waits for a line on stdin before it takes the port (0: any free one), so that the
// benchmark can start it ahead and bring it up without waiting for a process to start. Once it
// listens it prints "PORT NANOSECONDS" (the steady clock, which every process shares) and runs
// until it is killed.
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>
#include <iostream>
#include <netinet/in.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

[[noreturn]] void die(const char* why) {
    std::fprintf(stderr, "rtsp_camera: %s\n", why);
    std::exit(1);
}

void announce(int port) {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    std::printf(
        "%d %lld\n", port,
        static_cast<long long>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()));
    std::fflush(stdout);
}

// Light on the processor: a small picture, and JPEG rather than a video codec.
constexpr const char* kStream =
    "( videotestsrc is-live=true ! video/x-raw,format=I420,width=320,height=240,framerate=30/1 "
    "! jpegenc quality=60 ! rtpjpegpay name=pay0 pt=26 )";

void serve(int port) {
    GstRTSPServer* server = gst_rtsp_server_new();
    const std::string service = std::to_string(port);
    g_object_set(server, "address", "127.0.0.1", "service", service.c_str(), nullptr);
    GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
    GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
    gst_rtsp_media_factory_set_launch(factory, kStream);
    gst_rtsp_media_factory_set_shared(factory, TRUE);
    gst_rtsp_mount_points_add_factory(mounts, "/cam", factory);
    g_object_unref(mounts);
    if (gst_rtsp_server_attach(server, nullptr) == 0) die("cannot listen on the port");
    announce(gst_rtsp_server_get_bound_port(server));
    g_main_loop_run(g_main_loop_new(nullptr, FALSE));
}

void mute(int port) {
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 16) != 0)
        die(std::strerror(errno));
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    announce(ntohs(address.sin_port));
    // Every connection stays open and unread: the client's request is never answered.
    std::vector<int> connections;
    for (;;) {
        const int connection = accept(listener, nullptr, nullptr);
        if (connection >= 0) connections.push_back(connection);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    // Goes with the benchmark, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    gst_init(&argc, &argv);
    const std::string mode = argc > 2 ? argv[1] : "";
    if (mode != "serve" && mode != "mute") die("usage: rtsp_camera serve|mute PORT");
    const int port = std::atoi(argv[2]);
    std::string go;
    if (!std::getline(std::cin, go)) return 0; // the benchmark went away before needing us
    if (mode == "serve")
        serve(port);
    else
        mute(port);
    return 0;
}
