// Editing the inputs: the red/white boxes and the plan figures.
#include "form_fixture.h"

namespace {

QColor base(const QLineEdit* box) {
    return box->palette().color(QPalette::Base);
}

struct Figures {
    const char* seconds;
    const char* perMinute;
    const char* perHour;
    const char* perDay;
};

struct CalcCase {
    const char* interval;
    const char* stopAt;
    Figures expected;
};

class CalcTest : public FormTest, public ::testing::WithParamInterface<CalcCase> {
protected:
    // Start every case from figures that no case produces, to see which labels changed.
    void mark(window::Form1& f) {
        f.lblCalc->setText(QStringLiteral("before"));
        f.lblCalc1->setText(QStringLiteral("before"));
        f.lblCalc2->setText(QStringLiteral("before"));
        f.lblCalc3->setText(QStringLiteral("before"));
    }
};

TEST_P(CalcTest, FiguresFollowTheInputs) {
    const CalcCase& c = GetParam();
    auto& f = makeForm();
    f.txtStopAt->setText(QString::fromUtf8(c.stopAt));
    f.txtInterval->setText(QString()); // so that every interval below is an edit
    mark(f);
    f.txtInterval->setText(QString::fromUtf8(c.interval));
    EXPECT_EQ(f.lblCalc->text(), QString::fromUtf8(c.expected.seconds));
    EXPECT_EQ(f.lblCalc1->text(), QString::fromUtf8(c.expected.perMinute));
    EXPECT_EQ(f.lblCalc2->text(), QString::fromUtf8(c.expected.perHour));
    EXPECT_EQ(f.lblCalc3->text(), QString::fromUtf8(c.expected.perDay));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CalcTest,
    ::testing::Values(
        CalcCase{"10", "50", {"That is 500 seconds.", "6", "360", "8640"}},
        CalcCase{
            "7",
            "50",
            {"That is 350 seconds.", "8.57142857142857", "514.285714285714", "12342.8571428571"}},
        CalcCase{"0", "50", {"That is 0 seconds.", "before", "before", "before"}},
        CalcCase{"0.4", "50", {"That is 0 seconds.", "before", "before", "before"}},
        CalcCase{"2.5", "50", {"That is 100 seconds.", "30", "1800", "43200"}},
        CalcCase{"-5", "50", {"That is -250 seconds.", "-12", "-720", "-17280"}},
        CalcCase{
            "2147483647",
            "2",
            {"before", "2.79396772514748E-08", "1.67638063508849E-06", "4.02331352421237E-05"}},
        CalcCase{"-2147483648",
                 "1",
                 {"That is -2147483648 seconds.", "-2.79396772384644E-08", "-1.67638063430786E-06",
                  "-4.02331352233887E-05"}},
        CalcCase{
            "65536", "-65536", {"before", "0.00091552734375", "0.054931640625", "1.318359375"}},
        // Numbers that pass the check but do not fit 32 bits: no figure can be computed.
        CalcCase{"1e10", "50", {"before", "before", "before", "before"}},
        // Words after the digits: the box turns red and nothing changes.
        CalcCase{"12 pictures", "50", {"before", "before", "before", "before"}},
        CalcCase{"", "50", {"before", "before", "before", "before"}}));

TEST_F(CalcTest, BoxesTurnRedWhileTheirTextIsNoNumber) {
    auto& f = makeForm();
    for (QLineEdit* box : {f.txtInterval, f.txtStopAt}) {
        SCOPED_TRACE(box->objectName().toStdString());
        box->setText(QStringLiteral("12abc"));
        EXPECT_EQ(base(box), QColor(255, 0, 0));
        box->setText(QString());
        EXPECT_EQ(base(box), QColor(255, 0, 0));
        box->setText(QStringLiteral("12"));
        EXPECT_EQ(base(box), QColor(255, 255, 255));
    }
}

TEST_F(CalcTest, NoFigureChangesWhileTheOtherBoxIsRed) {
    auto& f = makeForm();
    f.txtStopAt->setText(QStringLiteral("many"));
    mark(f);
    f.txtInterval->setText(QStringLiteral("5"));
    EXPECT_EQ(base(f.txtInterval), QColor(255, 255, 255));
    EXPECT_EQ(f.lblCalc1->text(), "before");
    // Mending the stop count brings the figures of both inputs.
    f.txtStopAt->setText(QStringLiteral("3"));
    EXPECT_EQ(f.lblCalc->text(), "That is 15 seconds.");
    EXPECT_EQ(f.lblCalc1->text(), "12");
}

TEST_F(CalcTest, TheStopCountCountsWhicheverOptionIsSelected) {
    auto& f = makeForm();
    ASSERT_TRUE(f.optStop1->isChecked());
    f.txtStopAt->setText(QStringLiteral("7"));
    EXPECT_EQ(f.lblCalc->text(), "That is 70 seconds.");
}

TEST_F(CalcTest, ACommaLocaleWritesACommaAndReadsTheInputsAlike) {
    locale = QLocale(QLocale::German, QLocale::Germany);
    auto& f = makeForm();
    f.txtInterval->setText(QStringLiteral("7"));
    EXPECT_EQ(f.lblCalc1->text(), "8,57142857142857");
    f.txtInterval->setText(QStringLiteral("2,5")); // passes in German, read as 2
    EXPECT_EQ(base(f.txtInterval), QColor(255, 255, 255));
    EXPECT_EQ(f.lblCalc1->text(), "30");
}

} // namespace
