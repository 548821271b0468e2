#pragma once

#include <csignal>
#include <sys/resource.h>

// A full disk for this process: files may not grow past `bytes` (a write beyond fails with
// "File too large" instead of the signal) until lift() or the end of the scope.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &unlimited_);
        oldSignal_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit full{bytes, unlimited_.rlim_max};
        set_ = ::setrlimit(RLIMIT_FSIZE, &full) == 0;
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        lift();
        std::signal(SIGXFSZ, oldSignal_);
    }
    bool isSet() const { return set_; }
    void lift() { ::setrlimit(RLIMIT_FSIZE, &unlimited_); }

private:
    rlimit unlimited_{};
    void (*oldSignal_)(int) = nullptr;
    bool set_ = false;
};
