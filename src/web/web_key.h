#pragma once

#include <QString>
#include <mutex>
#include <string>
#include <string_view>

namespace web {

// True when `given` is `expected`, in a time that does not depend on where they differ.
bool sameKey(std::string_view given, std::string_view expected);

// A fresh key: 256 random bits from the kernel, in base64url (43 characters).
std::string makeKey();

// The page's key, kept in Web.ini beside the program (readable by its owner only), made on first
// use. Read by the server's threads, renewed from the window's.
class WebKey {
public:
    // Loads the key of `path` or makes one and writes it there. False, with `error` saying why,
    // when there is none and it cannot be written.
    bool load(const QString& path, QString* error);
    // A new key, written to the file; the old one stops working at once.
    bool renew(QString* error);
    std::string current() const;
    bool matches(std::string_view given) const;

private:
    bool write(const std::string& key, QString* error);

    mutable std::mutex mutex_;
    std::string key_;
    QString path_;
};

} // namespace web
