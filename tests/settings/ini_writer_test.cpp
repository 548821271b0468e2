#include "settings/ini_writer.h"
#include "settings/mod_ini.h"

#include <QByteArray>
#include <gtest/gtest.h>

namespace {

// Only the value the reader reads changes, or one line is added; every other byte stays, and
// the reader then reads the new value.
TEST(WithValue, ChangesOneLineAndNothingElse) {
    const QByteArray file = "\xEF\xBB\xBF; settings\r\n[MAIN]\r\nWidth=640\r\n"
                            "  pictureformat = 'BMP'  ; old\r\n; PictureFormat=JPEG\r\n\r\n"
                            "[OTHER]\r\nTimeStamp=1\r\n[MAIN]\r\nHeight=480";
    const struct {
        const char* what;
        QByteArray contents;
        const char* key;
        QByteArray expected;
    } cases[] = {
        {"a value in place", file, "PictureFormat",
         "\xEF\xBB\xBF; settings\r\n[MAIN]\r\nWidth=640\r\n"
         "  pictureformat = PNG\r\n; PictureFormat=JPEG\r\n\r\n"
         "[OTHER]\r\nTimeStamp=1\r\n[MAIN]\r\nHeight=480"},
        {"a key added after the first MAIN's last key", file, "TimeStamp",
         "\xEF\xBB\xBF; settings\r\n[MAIN]\r\nWidth=640\r\n"
         "  pictureformat = 'BMP'  ; old\r\nTimeStamp=PNG\r\n; PictureFormat=JPEG\r\n\r\n"
         "[OTHER]\r\nTimeStamp=1\r\n[MAIN]\r\nHeight=480"},
        {"an empty section, its last line unended, LF", "[OTHER]\nA=1\n[MAIN]", "TimeStamp",
         "[OTHER]\nA=1\n[MAIN]\nTimeStamp=PNG\n"},
        {"no section", "[OTHER]\nA=1", "TimeStamp", "[OTHER]\nA=1\n[MAIN]\nTimeStamp=PNG\n"},
        {"an empty value", "[MAIN]\r\nTimeStamp=\r\n", "TimeStamp", "[MAIN]\r\nTimeStamp=PNG\r\n"},
        {"no file", "", "TimeStamp", "[MAIN]\r\nTimeStamp=PNG\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray written = modIni::withValue(c.contents, "MAIN", c.key, "PNG");
        EXPECT_EQ(written.toStdString(), c.expected.toStdString());
        EXPECT_EQ(modIni::lookUp(written, "MAIN", c.key), QStringLiteral("PNG"));
    }
}

} // namespace
