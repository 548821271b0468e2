// The page's address as Config.ini gives it, and the link the Look in dialog shows for it.
#include "web/web_settings.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace {

QString linkFor(const char* address) {
    return web::pageLink(QString::fromLatin1(address), 8080, false, "k");
}

web::WebSettings settingsFor(const char* address) {
    return web::readWebSettings(
        [address](const QString& key) {
            return key == QLatin1String("WebPort")      ? QStringLiteral("8080")
                   : key == QLatin1String("WebAddress") ? QString::fromLatin1(address)
                                                        : QString();
        },
        QStringLiteral("/tmp"));
}

TEST(PageLink, NamesTheAddressInItsUsualSpelling) {
    const struct {
        const char* address;
        const char* link;
    } table[] = {
        {"127.0.0.1", "http://127.0.0.1:8080/?key=k"},
        {"192.168.1.20", "http://192.168.1.20:8080/?key=k"},
        {"::1", "http://[::1]:8080/?key=k"},
        {"0:0::1", "http://[::1]:8080/?key=k"},
        {"fe80:0:0:0:0:0:0:1", "http://[fe80::1]:8080/?key=k"},
    };
    for (const auto& row : table)
        EXPECT_EQ(linkFor(row.address).toStdString(), row.link) << row.address;
    EXPECT_EQ(web::pageLink(QStringLiteral("10.0.0.2"), 443, true, "k"),
              QStringLiteral("https://10.0.0.2:443/?key=k"));
    // Every address: one of this computer's that another device can reach, else this computer.
    for (const char* any : {"0.0.0.0", "::"}) {
        const QString link = linkFor(any);
        ASSERT_TRUE(link.startsWith(QLatin1String("http://")) && link.endsWith(":8080/?key=k"));
        const QByteArray host =
            link.section(QLatin1Char('/'), 2, 2).section(QLatin1Char(':'), 0, 0).toLatin1();
        in_addr parsed{};
        EXPECT_EQ(::inet_pton(AF_INET, host.constData(), &parsed), 1) << link.toStdString();
        EXPECT_FALSE(host.startsWith("169.254.") || host == "0.0.0.0") << link.toStdString();
    }
}

TEST(WebSettings, OnlyAnAddressTheServerCanBindToIsTaken) {
    for (const char* address : {"127.0.0.1", "0.0.0.0", "::1", "::"}) {
        const web::WebSettings s = settingsFor(address);
        EXPECT_TRUE(s.problems.isEmpty() && s.port) << address;
    }
    for (const char* address : {"localhost", "1.2.3", "256.1.1.1", "fe80::1%eth0", "::1:"}) {
        const web::WebSettings s = settingsFor(address);
        EXPECT_FALSE(s.port) << address;
        ASSERT_EQ(s.problems.size(), 1) << address;
        EXPECT_TRUE(s.problems.first().contains(QLatin1String("is not an IP address"))) << address;
    }
}

} // namespace
