#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace web {

struct WrongKeyLimits {
    int freeTries = 3;                                  // wrong keys answered at once
    std::chrono::milliseconds delay{1000};              // then each answered this much later
    int refuseAfter = 10;                               // then the address is refused...
    std::chrono::milliseconds refuseFor{10 * 60'000};   // ...this long
    std::chrono::milliseconds forgetAfter{10 * 60'000}; // a quiet address starts afresh
};

// Wrong keys by the address they came from: guessing is slowed, then refused for a while.
// Used by the server's threads at once.
class WrongKeys {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;
    explicit WrongKeys(WrongKeyLimits limits = {}, Clock clock = &std::chrono::steady_clock::now);

    // True while `address` is refused.
    bool refused(const std::string& address);
    // Counts a wrong key from `address`; returns how long to wait before answering it.
    std::chrono::milliseconds wrong(const std::string& address);
    // A right key: the address starts afresh.
    void right(const std::string& address);

private:
    struct Record {
        int wrong = 0;
        std::chrono::steady_clock::time_point last;
        std::chrono::steady_clock::time_point refusedUntil;
    };
    void forgetOld(std::chrono::steady_clock::time_point now);

    WrongKeyLimits limits_;
    Clock clock_;
    std::mutex mutex_;
    std::map<std::string, Record> records_;
};

} // namespace web
