#include "web/wrong_keys.h"

namespace web {

namespace {

// Addresses remembered at most: guesses from ever new addresses cannot grow the table for good.
constexpr std::size_t MaxAddresses = 4096;

} // namespace

WrongKeys::WrongKeys(WrongKeyLimits limits, Clock clock)
    : limits_(limits), clock_(std::move(clock)) {}

bool WrongKeys::refused(const std::string& address) {
    const std::lock_guard lock(mutex_);
    const auto found = records_.find(address);
    return found != records_.end() && clock_() < found->second.refusedUntil;
}

std::chrono::milliseconds WrongKeys::wrong(const std::string& address) {
    const std::lock_guard lock(mutex_);
    const auto now = clock_();
    if (records_.size() >= MaxAddresses) forgetOld(now);
    if (records_.size() >= MaxAddresses) records_.clear();
    Record& record = records_[address];
    if (now - record.last > limits_.forgetAfter && now >= record.refusedUntil) record.wrong = 0;
    record.last = now;
    ++record.wrong;
    if (record.wrong >= limits_.refuseAfter) {
        record.refusedUntil = now + limits_.refuseFor;
        record.wrong = 0;
    }
    return record.wrong > limits_.freeTries || now < record.refusedUntil
               ? limits_.delay
               : std::chrono::milliseconds(0);
}

void WrongKeys::right(const std::string& address) {
    const std::lock_guard lock(mutex_);
    records_.erase(address);
}

void WrongKeys::forgetOld(std::chrono::steady_clock::time_point now) {
    for (auto it = records_.begin(); it != records_.end();) {
        if (now - it->second.last > limits_.forgetAfter && now >= it->second.refusedUntil)
            it = records_.erase(it);
        else
            ++it;
    }
}

} // namespace web
