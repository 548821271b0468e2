// Whatever is typed into the boxes: a red box or a clear refusal, never a crash, a hang or a
// half-started run.
#include "convert/numbers.h"
#include "form_fixture.h"

#include <QElapsedTimer>

namespace {

QStringList hostileTexts() {
    return {QString(100000, QLatin1Char('9')),
            QString(100000, QLatin1Char('x')),
            QStringLiteral("1") + QString(99999, QLatin1Char('0')),
            QStringLiteral("0.") + QString(100000, QLatin1Char('1')),
            QStringLiteral("1e999999"),
            QStringLiteral("-1e999999"),
            QStringLiteral("1e-999999"),
            QStringLiteral("&HFFFFFFFFFFFF"),
            QStringLiteral("&H"),
            QStringLiteral("&O"),
            QStringLiteral("-0"),
            QStringLiteral("-"),
            QStringLiteral("+"),
            QStringLiteral("."),
            QStringLiteral("e"),
            QStringLiteral("\t5\n"),
            QString::fromUtf8("\x01\x02\x1b[31m5"),
            QString::fromUtf8("\u200f5\u200e"), // right-to-left and left-to-right marks
            QString::fromUtf8("\u0665"),        // an Arabic-Indic digit five
            QString::fromUtf8("5\u00a0000"),    // no-break space as a group separator
            QStringLiteral("1,,,,000"),
            QStringLiteral("2147483647.5"),
            QStringLiteral("-2147483648.5"),
            QStringLiteral("../../etc"),
            QString(QChar(0)) + QStringLiteral("5")};
}

class HostileInputTest : public FormTest, public ::testing::WithParamInterface<int> {};

TEST_P(HostileInputTest, IsRefusedCleanlyOrStartsARun) {
    const QString text = hostileTexts().at(GetParam());
    for (bool intervalBox : {true, false}) {
        SCOPED_TRACE(intervalBox ? "interval" : "stop count");
        messages.shown.clear();
        auto& f = loadedForm();
        f.optStop2->click();
        QLineEdit* box = intervalBox ? f.txtInterval : f.txtStopAt;
        QElapsedTimer timer;
        timer.start();
        box->setText(text);
        const bool numeric = convert::isNumeric(text, locale);
        EXPECT_EQ(box->palette().color(QPalette::Base),
                  numeric ? QColor(255, 255, 255) : QColor(255, 0, 0));
        f.cmdStart->click();
        if (f.isRunning()) {
            EXPECT_TRUE(messages.shown.empty());
            // Whatever the number, the run folder is named by the clock alone.
            EXPECT_TRUE(QDir(picturesPath() + "/" + f.strRunFolder).exists());
            EXPECT_TRUE(f.strRunFolder.startsWith("06Dec2026-"));
            f.cmdTakePic->click();
            if (f.isRunning()) f.cmdStop->click();
            EXPECT_TRUE(QFile::exists(picturesPath() + "/" + f.strRunFolder + "/Picture 1.bmp"));
        } else {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_EQ(messages.shown[0].title, "Error");
            EXPECT_FALSE(f.Timer->isEnabled());
            EXPECT_TRUE(f.cmdStart->isEnabled());
            EXPECT_TRUE(box->isEnabled());
            EXPECT_EQ(f.lngInterval, 0);
            EXPECT_TRUE(f.strRunFolder.isEmpty());
        }
        EXPECT_LT(timer.elapsed(), 2000) << "took " << timer.elapsed() << " ms";
        box->setText(QStringLiteral("3"));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, HostileInputTest, ::testing::Range(0, int(hostileTexts().size())));

TEST_F(HostileInputTest, NothingTypedReachesAPath) {
    auto& f = loadedForm();
    f.txtInterval->setText(QStringLiteral("1"));
    f.optStop2->click();
    f.txtStopAt->setText(QStringLiteral("2 ../../x"));
    f.cmdStart->click();
    ASSERT_FALSE(f.isRunning()); // words after the number: refused
    f.txtStopAt->setText(QStringLiteral("2"));
    f.cmdStart->click();
    ASSERT_TRUE(f.isRunning());
    passSeconds(2);
    EXPECT_EQ(QDir(picturesPath() + "/06Dec2026-074039")
                  .entryList({QStringLiteral("Picture *")}, QDir::Files, QDir::Name),
              QStringList({"Picture 1.bmp", "Picture 2.bmp"}));
}

} // namespace
