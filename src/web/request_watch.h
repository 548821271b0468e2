#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace web {

// A time limit for receiving each request, which the server library does not have (it closes
// only connections that send nothing): a client sending one byte a second is shut out when its
// request is not in within the limit. A connection is timed from its start or from its last
// answer, and not while it is being answered.
class RequestWatch {
public:
    explicit RequestWatch(std::chrono::milliseconds limit);
    ~RequestWatch();
    RequestWatch(const RequestWatch&) = delete;
    RequestWatch& operator=(const RequestWatch&) = delete;

    // The server's threads tell about connection `id` with socket `fd`.
    void opened(const void* id, int fd);
    void answering(const void* id);
    void answered(const void* id);
    // Called before the server closes the socket: it is never touched again.
    void closed(const void* id);

private:
    struct Connection {
        int fd = -1;
        std::chrono::steady_clock::time_point since;
        bool answering = false;
        bool shut = false;
    };
    void watch(std::stop_token stop);

    std::chrono::milliseconds limit_;
    std::mutex mutex_;
    std::condition_variable_any wake_;
    std::map<const void*, Connection> connections_;
    std::jthread thread_;
};

} // namespace web
