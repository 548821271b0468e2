// The page's key: made from the kernel's random bits, kept in a file only its owner reads.
#include "web/web_key.h"

#include "settings/mod_ini.h"

#include <QByteArray>
#include <QFile>
#include <QSaveFile>
#include <sys/random.h>

namespace web {

namespace {

constexpr std::size_t KeyBytes = 32;
constexpr std::size_t KeyChars = 43; // base64url of 32 bytes, unpadded

// Web.ini's key as read: exactly a key's length of base64url, or nothing.
bool wellFormed(std::string_view key) {
    if (key.size() != KeyChars) return false;
    for (const char c : key)
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
              c == '-' || c == '_'))
            return false;
    return true;
}

} // namespace

bool sameKey(std::string_view given, std::string_view expected) {
    unsigned char diff = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const unsigned char g = i < given.size() ? static_cast<unsigned char>(given[i]) : 0;
        diff |= static_cast<unsigned char>(g ^ static_cast<unsigned char>(expected[i]));
    }
    return diff == 0 && !expected.empty();
}

std::string makeKey() {
    unsigned char bytes[KeyBytes];
    std::size_t got = 0;
    while (got < KeyBytes) {
        const ssize_t n = getrandom(bytes + got, KeyBytes - got, 0);
        if (n > 0) got += std::size_t(n);
    }
    const QByteArray text =
        QByteArray(reinterpret_cast<const char*>(bytes), KeyBytes)
            .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
    return text.toStdString();
}

bool WebKey::load(const QString& path, QString* error) {
    {
        const std::lock_guard lock(mutex_);
        path_ = path;
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            const std::optional<QString> value =
                modIni::lookUp(file.read(4096), QStringLiteral("WEB"), QStringLiteral("Key"));
            if (value && wellFormed(value->toStdString())) {
                key_ = value->toStdString();
                // Kept for its owner only, whatever it was given.
                file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
                return true;
            }
        }
    }
    return renew(error);
}

bool WebKey::renew(QString* error) {
    const std::string key = makeKey();
    if (!write(key, error)) return false;
    const std::lock_guard lock(mutex_);
    key_ = key;
    return true;
}

std::string WebKey::current() const {
    const std::lock_guard lock(mutex_);
    return key_;
}

bool WebKey::matches(std::string_view given) const {
    const std::lock_guard lock(mutex_);
    return sameKey(given, key_);
}

bool WebKey::write(const std::string& key, QString* error) {
    QString path;
    {
        const std::lock_guard lock(mutex_);
        path = path_;
    }
    QSaveFile file(path);
    // The new file is made for its owner only before the key is in it.
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(QByteArray("; The key of the run's web page. Anyone who has it sees the "
                              "pictures.\r\n[WEB]\r\nKey=") +
                   QByteArray::fromStdString(key) + "\r\n") < 0 ||
        !file.commit()) {
        if (error) *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

} // namespace web
