#pragma once

#include <QString>
#include <functional>

namespace window {

// What the window knows of the run's web page: its link, for a phone, and a new key for it.
struct LookIn {
    std::function<QString()> link;              // the page's address with its key
    std::function<bool(QString* error)> newKey; // the old key stops working at once
    explicit operator bool() const { return bool(link); }
};

} // namespace window
