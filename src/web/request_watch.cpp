#include "web/request_watch.h"

#include <algorithm>
#include <sys/socket.h>

namespace web {

RequestWatch::RequestWatch(std::chrono::milliseconds limit)
    : limit_(limit), thread_([this](std::stop_token stop) { watch(stop); }) {}

RequestWatch::~RequestWatch() {
    thread_.request_stop();
    wake_.notify_all();
}

void RequestWatch::opened(const void* id, int fd) {
    const std::lock_guard lock(mutex_);
    connections_[id] = {fd, std::chrono::steady_clock::now(), false, false};
}

void RequestWatch::answering(const void* id) {
    const std::lock_guard lock(mutex_);
    if (auto it = connections_.find(id); it != connections_.end()) it->second.answering = true;
}

void RequestWatch::answered(const void* id) {
    const std::lock_guard lock(mutex_);
    if (auto it = connections_.find(id); it != connections_.end()) {
        it->second.answering = false;
        it->second.since = std::chrono::steady_clock::now();
    }
}

void RequestWatch::closed(const void* id) {
    const std::lock_guard lock(mutex_);
    connections_.erase(id);
}

void RequestWatch::watch(std::stop_token stop) {
    // Looks a few times a limit: a request is shut out at most a quarter late.
    const auto every =
        std::clamp(limit_ / 4, std::chrono::milliseconds(20), std::chrono::milliseconds(1000));
    std::unique_lock lock(mutex_);
    while (!stop.stop_requested()) {
        wake_.wait_for(lock, stop, every, [] { return false; });
        const auto now = std::chrono::steady_clock::now();
        for (auto& [id, c] : connections_) {
            if (c.answering || c.shut || now - c.since < limit_) continue;
            // The server sees the connection end and closes it in its own time; the socket
            // stays its to close, so its number cannot be reused under us.
            ::shutdown(c.fd, SHUT_RDWR);
            c.shut = true;
        }
    }
}

} // namespace web
