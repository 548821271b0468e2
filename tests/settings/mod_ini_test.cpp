#include "settings/mod_ini.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <optional>
#include <random>
#include <vector>

namespace {

struct LookUpCase {
    const char* name;
    QByteArray contents;
    QString section;
    QString key;
    std::optional<QString> value;
};

TEST(LookUp, FindsKeysTheWayProfileFilesAreWritten) {
    const QByteArray config = "[MAIN]\nWidth=640\nHeight=480\nFramerate=33\n";
    const std::optional<QString> none;
    const std::vector<LookUpCase> cases = {
        {"plain", config, "MAIN", "Width", "640"},
        {"other key", config, "MAIN", "Framerate", "33"},
        {"missing key", config, "MAIN", "Depth", none},
        {"missing section", config, "OTHER", "Width", none},
        {"section case", config, "main", "Width", "640"},
        {"key case", config, "MAIN", "wIDTH", "640"},
        {"file case", "[Main]\nWIDTH=640\n", "MAIN", "Width", "640"},
        {"blanks trimmed", "  [ MAIN ]  \n\t Width \t=\t 640 \t\n", "MAIN", "Width", "640"},
        {"blanks inside kept", "[MAIN]\nWidth=6 40\n", "MAIN", "Width", "6 40"},
        {"CRLF", "[MAIN]\r\nWidth=640\r\nHeight=480\r\n", "MAIN", "Width", "640"},
        {"no newline at end", "[MAIN]\nWidth=640", "MAIN", "Width", "640"},
        {"BOM", "\xEF\xBB\xBF[MAIN]\nWidth=640\n", "MAIN", "Width", "640"},
        {"UTF-8 value", "[MAIN]\nName=Caf\xC3\xA9\n", "MAIN", "Name", QString::fromUtf8("Café")},
        {"empty value", "[MAIN]\nWidth=\n", "MAIN", "Width", ""},
        {"value with =", "[MAIN]\nSource=a=b\n", "MAIN", "Source", "a=b"},
        {"comment line", "[MAIN]\n;Width=1\nWidth=640\n", "MAIN", "Width", "640"},
        {"indented comment", "[MAIN]\n  ; Width=1\n", "MAIN", "Width", none},
        {"comment after value is kept", "[MAIN]\nWidth=640 ; px\n", "MAIN", "Width", "640 ; px"},
        {"comment after header", "[MAIN] ; the main part\nWidth=640\n", "MAIN", "Width", "640"},
        {"double quotes", "[MAIN]\nWidth=\"640\"\n", "MAIN", "Width", "640"},
        {"single quotes", "[MAIN]\nWidth='640'\n", "MAIN", "Width", "640"},
        {"quotes keep inner blanks", "[MAIN]\nWidth=\" 640 \"\n", "MAIN", "Width", " 640 "},
        {"unmatched quotes", "[MAIN]\nWidth=\"640'\n", "MAIN", "Width", "\"640'"},
        {"lone quote", "[MAIN]\nWidth=\"\n", "MAIN", "Width", "\""},
        {"empty quotes", "[MAIN]\nWidth=\"\"\n", "MAIN", "Width", ""},
        {"first key wins", "[MAIN]\nWidth=1\nWidth=2\n", "MAIN", "Width", "1"},
        {"key in other section", "[A]\nWidth=1\n[MAIN]\nHeight=2\n", "MAIN", "Width", none},
        {"section ends at next", "[MAIN]\nHeight=2\n[B]\nWidth=1\n", "MAIN", "Width", none},
        {"repeated section adds keys", "[MAIN]\nHeight=2\n[B]\nWidth=1\n[MAIN]\nWidth=3\n", "MAIN",
         "Width", "3"},
        {"repeated section does not override", "[MAIN]\nWidth=1\n[MAIN]\nWidth=3\n", "MAIN",
         "Width", "1"},
        {"key before any section", "Width=1\n[MAIN]\n", "MAIN", "Width", none},
        {"line without =", "[MAIN]\nWidth\nWidth=640\n", "MAIN", "Width", "640"},
        {"unclosed header is no section", "[MAIN]\n[OTHER\nWidth=640\n", "MAIN", "Width", "640"},
        {"key is not a prefix", "[MAIN]\nWidthX=1\nWidth=640\n", "MAIN", "Width", "640"},
        {"empty file", "", "MAIN", "Width", none},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(modIni::lookUp(c.contents, c.section, c.key), c.value);
    }
}

TEST(LookUp, SurvivesHostileContents) {
    const QByteArray tenMegabyteLine(10 * 1024 * 1024, 'x');
    QByteArray binary(1 << 20, '\0');
    std::mt19937 random(7);
    for (auto& b : binary)
        b = static_cast<char>(random());

    EXPECT_EQ(modIni::lookUp(tenMegabyteLine, "MAIN", "Width"), std::nullopt);
    EXPECT_EQ(modIni::lookUp("[MAIN]\nWidth=" + tenMegabyteLine, "MAIN", "Width")->size(),
              tenMegabyteLine.size());
    EXPECT_EQ(modIni::lookUp("[MAIN]\n" + tenMegabyteLine + "\nWidth=640", "MAIN", "Width"), "640");
    EXPECT_EQ(modIni::lookUp(QByteArray(1'000'000, '['), "MAIN", "Width"), std::nullopt);
    EXPECT_EQ(modIni::lookUp(QByteArray(1'000'000, '\n'), "MAIN", "Width"), std::nullopt);
    EXPECT_EQ(modIni::lookUp(QByteArray(1'000'000, '='), "MAIN", "Width"), std::nullopt);
    modIni::lookUp(binary, "MAIN", "Width");
    modIni::lookUp("[MAIN]\n" + binary, "MAIN", "Width");

    // NUL bytes and invalid UTF-8 are ordinary characters of a line.
    EXPECT_EQ(modIni::lookUp(QByteArray("[MAIN]\nWidth=6\0\x34\x30\n", 18), "MAIN", "Width"),
              QString::fromUtf16(u"6\u000040", 4));
    EXPECT_EQ(modIni::lookUp("[MAIN]\nWidth=\xFF\xFE\n", "MAIN", "Width"), "\uFFFD\uFFFD");
    EXPECT_EQ(modIni::lookUp(QByteArray("[MA\0IN]\nWidth=1\n", 16), "MAIN", "Width"), std::nullopt);
    // A second byte-order mark is not stripped: it is part of the first line's name.
    EXPECT_EQ(modIni::lookUp("\xEF\xBB\xBF\xEF\xBB\xBF[MAIN]\nWidth=640\n", "MAIN", "Width"),
              std::nullopt);
}

class ReadIniValueTest : public ::testing::Test {
protected:
    void write(const QByteArray& contents, const QString& name = "Config.ini") {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(contents), contents.size());
    }
    QString read(const QString& key, const QString& fallback = "fallback") {
        return modIni::ReadIniValue("MAIN", key, "Config.ini", fallback, dir.path());
    }

    QTemporaryDir dir;
};

TEST_F(ReadIniValueTest, ReturnsTheValueOrTheDefault) {
    write("[MAIN]\r\nWidth=640\r\nHeight=\r\nQuoted=\"\"\r\nBlank=   \r\n");
    EXPECT_EQ(read("Width"), "640");
    EXPECT_EQ(read("width"), "640");
    EXPECT_EQ(read("Height"), "fallback");
    EXPECT_EQ(read("Quoted"), "fallback");
    EXPECT_EQ(read("Blank"), "fallback");
    EXPECT_EQ(read("Framerate"), "fallback");
    EXPECT_EQ(read("Framerate", ""), "");
    EXPECT_EQ(modIni::ReadIniValue("OTHER", "Width", "Config.ini", "d", dir.path()), "d");
}

TEST_F(ReadIniValueTest, ReturnsTheDefaultWhenNoOrdinaryFileIsThere) {
    EXPECT_EQ(read("Width"), "fallback");
    ASSERT_TRUE(QDir(dir.path()).mkdir("Config.ini"));
    EXPECT_EQ(read("Width"), "fallback");
    write("[MAIN]\nWidth=640\n", "Other.ini");
    EXPECT_EQ(read("Width"), "fallback");
    EXPECT_EQ(modIni::ReadIniValue("MAIN", "Width", "Other.ini", "d", dir.path()), "640");
}

TEST_F(ReadIniValueTest, CutsLongValuesTo254Characters) {
    QString value;
    for (int i = 0; i < 300; ++i)
        value += QChar(u'a' + i % 26);
    write("[MAIN]\nWidth=" + value.toUtf8() + "\n");
    EXPECT_EQ(modIni::MaxValueLength, 254);
    EXPECT_EQ(read("Width"), value.left(254));

    write("[MAIN]\nWidth=" + QByteArray(254, '7') + "\n");
    EXPECT_EQ(read("Width"), QString(254, u'7'));

    // A character outside the basic plane at the cut is left out whole.
    write("[MAIN]\nWidth=" + QByteArray(253, 'a') + "\xF0\x9F\x98\x80" + "tail\n");
    EXPECT_EQ(read("Width"), QString(253, u'a'));
}

TEST_F(ReadIniValueTest, SurvivesHostileFiles) {
    QByteArray binary(1 << 20, '\0');
    std::mt19937 random(11);
    for (auto& b : binary)
        b = static_cast<char>(random());
    write(binary);
    EXPECT_EQ(read("Width"), "fallback");

    write("\xEF\xBB\xBF[MAIN]\n" + QByteArray(10 * 1024 * 1024, 'z') + "\nWidth=640");
    EXPECT_EQ(read("Width"), "640");

    write(QByteArray("[MAIN]\0\nWidth=\0\0\0", 17));
    EXPECT_EQ(read("Width"), QString(3, QChar(u'\0')));
}

} // namespace
