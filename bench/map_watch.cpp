// Start-up time as the user sees it: starts a program and waits until the X server maps a
// top-level window with the given title. Prints the milliseconds from just before the program
// was started to the map, then ends the program.
//
//   bench_mapwatch TITLE TIMEOUT_SECONDS PROGRAM [ARGUMENTS...]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The window's title, from _NET_WM_NAME (UTF-8) or else WM_NAME.
std::string titleOf(Display* display, Window window) {
    const Atom netWmName = XInternAtom(display, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display, window, netWmName, 0, 1024, False, utf8, &type, &format, &count,
                           &after, &data) == Success &&
        data) {
        title.assign(reinterpret_cast<char*>(data), count);
        XFree(data);
        if (!title.empty()) return title;
    }
    XTextProperty text;
    if (XGetWMName(display, window, &text) && text.value) {
        title.assign(reinterpret_cast<char*>(text.value), text.nitems);
        XFree(text.value);
    }
    return title;
}

// A window that vanished between its map and our look at it is simply not the one.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s TITLE TIMEOUT_SECONDS PROGRAM [ARGUMENTS...]\n", argv[0]);
        return 2;
    }
    const std::string wanted = argv[1];
    const auto timeout = std::chrono::seconds(std::atoi(argv[2]));
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "bench_mapwatch: no X display\n");
        return 2;
    }
    XSetErrorHandler(ignoreErrors);
    const Window root = DefaultRootWindow(display);
    // Listening starts before the program does, so no map can be missed.
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const auto started = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        execv(argv[3], argv + 3);
        std::fprintf(stderr, "bench_mapwatch: cannot start %s: %s\n", argv[3],
                     std::strerror(errno));
        _exit(127);
    }

    int status = 1;
    double elapsedMs = -1;
    while (elapsedMs < 0) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != MapNotify) continue;
            const auto mapped = std::chrono::steady_clock::now();
            if (titleOf(display, event.xmap.window) == wanted) {
                elapsedMs = std::chrono::duration<double, std::milli>(mapped - started).count();
                break;
            }
        }
        if (elapsedMs >= 0) break;
        if (std::chrono::steady_clock::now() - started > timeout) {
            std::fprintf(stderr, "bench_mapwatch: no window \"%s\" in time\n", wanted.c_str());
            break;
        }
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "bench_mapwatch: %s ended before showing \"%s\"\n", argv[3],
                         wanted.c_str());
            XCloseDisplay(display);
            return 1;
        }
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        poll(&connection, 1, 20);
    }
    // A program that ignores the request to end is ended for good after two seconds.
    kill(child, SIGTERM);
    for (int waited = 0; waitpid(child, &status, WNOHANG) == 0; ++waited) {
        if (waited == 200) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(10000);
    }
    XCloseDisplay(display);
    if (elapsedMs < 0) return 1;
    std::printf("%.1f\n", elapsedMs);
    return 0;
}
