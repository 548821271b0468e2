#include "convert/conversion_error.h"
#include "convert/numbers.h"

#include <QLocale>
#include <QString>
#include <cmath>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

using convert::ConversionError;
using namespace Qt::StringLiterals;
using namespace std::string_view_literals;

namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

// Runs `call` and returns the number of the ConversionError it throws, if any.
template <typename F> std::optional<int> errorOf(F&& call) {
    try {
        call();
    } catch (const ConversionError& e) {
        return e.number();
    }
    return std::nullopt;
}

constexpr int kOverflow = ConversionError::Overflow;
constexpr int kTypeMismatch = ConversionError::TypeMismatch;
constexpr std::int32_t kMin32 = std::numeric_limits<std::int32_t>::min();

TEST(ConversionError, CarriesNumberAndDescription) {
    const ConversionError overflow(ConversionError::Overflow);
    EXPECT_EQ(overflow.number(), 6);
    EXPECT_EQ(overflow.description(), "Overflow");
    EXPECT_STREQ(overflow.what(), "Overflow");

    const ConversionError mismatch(ConversionError::TypeMismatch);
    EXPECT_EQ(mismatch.number(), 13);
    EXPECT_EQ(mismatch.description(), "Type mismatch");
    EXPECT_STREQ(mismatch.what(), "Type mismatch");
}

QString q(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

struct NumericCase {
    std::u16string_view text;
    bool numeric;
};

TEST(IsNumeric, AcceptsTheNumberFormsOfAPointLocale) {
    const std::vector<NumericCase> cases = {
        {u"10", true},        {u"-5", true},           {u"+5", true},
        {u"2.5", true},       {u".5", true},           {u"5.", true},
        {u" 10 ", true},      {u"\t10\r\n", true},     {u"1e3", true},
        {u"1.5E-3", true},    {u"1E+3", true},         {u"&H1F", true},
        {u"&h1f", true},      {u"&O17", true},         {u"&HFFFFFFFF", true},
        {u"1,000", true},     {u"1,000,000.5", true},  {u"-0", true},
        {u"", false},         {u" ", false},           {u"abc", false},
        {u"10abc", false},    {u"12 pictures", false}, {u"1.2.3", false},
        {u"e5", false},       {u"--1", false},         {u"+", false},
        {u"-", false},        {u".", false},           {u"1e", false},
        {u"1e+", false},      {u"1 0", false},         {u",5", false},
        {u"&H", false},       {u"&HG", false},         {u"&O8", false},
        {u"-&H1F", false},    {u"&X1", false},         {u"1d3", false},
        {u"\u200F10", false}, {u"10\u200F", false},    {u"1\u00000"sv, false},
        {u"1e999999", false}, {u"-1e400", false},      {u"&HFFFFFFFFFFFF", false},
        {u"1e-999999", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(q(c.text).toStdString());
        EXPECT_EQ(convert::isNumeric(q(c.text), english), c.numeric);
    }
}

TEST(IsNumeric, FollowsTheSeparatorsOfACommaLocale) {
    const std::vector<NumericCase> cases = {
        {u"2,5", true},    {u"1.000", true},    {u"1.000,5", true},
        {u",5", true},     {u"2.5", true}, // the point is a thousands separator here
        {u"1,2,3", false}, {u"1,000.5", false}, {u".5", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(q(c.text).toStdString());
        EXPECT_EQ(convert::isNumeric(q(c.text), german), c.numeric);
    }
}

struct LeadingCase {
    std::u16string_view text;
    std::int32_t value;
};

TEST(LeadingInt32, ReadsTheNumberAtTheStartAndRoundsHalvesToEven) {
    // &H and &O values wrap as 16-bit up to &HFFFF and as 32-bit up to &HFFFFFFFF.
    // clang-format off
    const std::vector<LeadingCase> cases = {
        {u"10", 10}, {u"2.5", 2}, {u"3.5", 4}, {u"-2.5", -2}, {u"-3.5", -4}, {u"0.4", 0},
        {u"1 0", 10}, {u"- 1 2 . 5", -12}, {u"1,000", 1}, {u"12abc", 12}, {u"1.2.3", 1},
        {u"1e3", 1000}, {u"1d3", 1000}, {u"1D-1", 0}, {u"25e-1", 2}, {u"1e", 1}, {u"1e+", 1},
        {u"1e3e4", 1000}, {u"&H1F", 31}, {u"&h1f", 31}, {u"& H 1F", 31}, {u"&H1F.5", 31},
        {u"&O17", 15}, {u"&O18", 1}, {u"&H", 0}, {u"&X1", 0}, {u"-&H1F", 0}, {u"abc", 0},
        {u"", 0}, {u"   ", 0}, {u"+", 0}, {u"-", 0}, {u".", 0}, {u"--1", 0}, {u"-0", 0},
        {u"e5", 0}, {u"12\u200F3", 12}, {u"\u200F12", 0}, {u"7\u00008"sv, 7}, {u"1e-999999", 0},
        {u"&H7FFF", 32767}, {u"&H8000", -32768}, {u"&HFFFF", -1}, {u"&H0000FFFF", -1},
        {u"&H10000", 65536}, {u"&H80000000", kMin32}, {u"&HFFFFFFFF", -1}, {u"&O177777", -1},
        {u"&O37777777777", -1}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(q(c.text).toStdString());
        EXPECT_EQ(convert::leadingInt32(q(c.text)), c.value);
    }
}

TEST(LeadingInt32, ReportsValuesThatDoNotFitAsOverflow) {
    for (const char16_t* text :
         {u"1e10", u"2147483648", u"-2147483649", u"2147483647.5", u"&H100000000",
          u"&HFFFFFFFFFFFF", u"&O40000000000", u"1e999999", u"-1e999999", u"1e400"}) {
        SCOPED_TRACE(QString::fromUtf16(text).toStdString());
        EXPECT_EQ(errorOf([&] { convert::leadingInt32(QString::fromUtf16(text)); }), kOverflow);
    }
    EXPECT_EQ(convert::leadingInt32(u"-2147483648.5"_s), std::numeric_limits<std::int32_t>::min());
}

TEST(LeadingNumber, IsCorrectlyRoundedForLongAndExtremeMantissas) {
    EXPECT_EQ(convert::leadingNumber(u"1.5E-3"_s), 0.0015);
    EXPECT_EQ(convert::leadingNumber(u"0.1"_s), 0.1);
    EXPECT_EQ(convert::leadingNumber(u"1.7976931348623157e308"_s),
              std::numeric_limits<double>::max());
    EXPECT_EQ(convert::leadingNumber(u"4.9e-324"_s), std::numeric_limits<double>::denorm_min());
    EXPECT_EQ(convert::leadingNumber(u"1e-400"_s), 0.0);
    EXPECT_EQ(errorOf([] { convert::leadingNumber(u"1.8e308"_s); }), kOverflow);

    // Many digits whose scale is given back by the exponent.
    EXPECT_EQ(convert::leadingNumber("1" + QString(100000, u'0') + "e-100000"), 1.0);
    EXPECT_EQ(convert::leadingNumber("." + QString(400, u'0') + "1e400"), 0.1);
    EXPECT_EQ(errorOf([] { convert::leadingNumber("1" + QString(400, u'0')); }), kOverflow);
    EXPECT_EQ(convert::leadingNumber("0." + QString(100000, u'0') + "1"), 0.0);
    EXPECT_EQ(convert::leadingNumber(QString(100000, u'0') + "7"), 7.0);

    // 2^53 + 1 lies halfway between two doubles; a non-zero digit far behind it decides.
    const double below = 9007199254740992.0;
    EXPECT_EQ(convert::leadingNumber(u"9007199254740993"_s), below);
    EXPECT_EQ(convert::leadingNumber("9007199254740993." + QString(2000, u'0') + "1"), below + 2);
    EXPECT_EQ(convert::leadingNumber("9007199254740993" + QString(2000, u'0') + "1e-2001"),
              below + 2);
}

struct RoundCase {
    double value;
    std::optional<std::int32_t> as32; // nullopt: overflow
    std::optional<std::int16_t> as16;
};

TEST(RoundToInt, RoundsHalvesToEvenAndChecksTheRange) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::nullopt_t over = std::nullopt;
    // clang-format off
    const std::vector<RoundCase> cases = {
        {0.5, 0, 0}, {1.5, 2, 2}, {2.5, 2, 2}, {-0.5, 0, 0}, {-1.5, -2, -2},
        {0.49999999999999994, 0, 0}, {2.5000000000000004, 3, 3}, {32766.5, 32766, 32766},
        {32767.4, 32767, 32767}, {32767.5, 32768, over}, {-32768.5, -32768, -32768},
        {-32768.6, -32769, over}, {2147483646.5, 2147483646, over}, {2147483647.5, over, over},
        {-2147483648.5, kMin32, over}, {-2147483648.6, over, over}, {1e300, over, over},
        {nan, over, over}, {inf, over, over}, {-inf, over, over}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.value);
        if (c.as32)
            EXPECT_EQ(convert::roundToInt32(c.value), *c.as32);
        else
            EXPECT_EQ(errorOf([&] { convert::roundToInt32(c.value); }), kOverflow);
        if (c.as16)
            EXPECT_EQ(convert::roundToInt16(c.value), *c.as16);
        else
            EXPECT_EQ(errorOf([&] { convert::roundToInt16(c.value); }), kOverflow);
    }
}

struct LocaleCase {
    const QLocale* locale;
    const char16_t* text;
    std::int32_t value; // used when no error is expected
    std::optional<int> error32;
    std::optional<int> error16;
};

TEST(ToInt, ConvertsTheWholeTextInTheLocale) {
    const std::optional<int> ok;
    const QLocale* en = &english;
    const QLocale* de = &german;
    const int mis = kTypeMismatch;
    const int ovr = kOverflow;
    // clang-format off
    const std::vector<LocaleCase> cases = {
        {en, u"640", 640, ok, ok},         {en, u" 640 ", 640, ok, ok},
        {en, u"2.5", 2, ok, ok},           {en, u"3.5", 4, ok, ok},
        {en, u"-2.5", -2, ok, ok},         {en, u"1,000", 1000, ok, ok},
        {en, u"1e3", 1000, ok, ok},        {en, u"+7", 7, ok, ok},
        {en, u"-0", 0, ok, ok},            {en, u"&H1F", 31, ok, ok},
        {en, u"&HFFFF", -1, ok, ok},       {en, u"&H10000", 65536, ok, ovr},
        {en, u"-32768", -32768, ok, ok},   {en, u"32767", 32767, ok, ok},
        {en, u"32768", 32768, ok, ovr},    {en, u"32767.5", 32768, ok, ovr},
        {en, u"-32768.5", -32768, ok, ok}, {en, u"2147483647", 2147483647, ok, ovr},
        {en, u"2147483648", 0, ovr, ovr},  {en, u"-2147483648", kMin32, ok, ovr},
        {en, u"1e999999", 0, ovr, ovr},    {en, u"&HFFFFFFFFFFFF", 0, ovr, ovr},
        {en, u"", 0, mis, mis},            {en, u"   ", 0, mis, mis},
        {en, u"640px", 0, mis, mis},       {en, u"abc", 0, mis, mis},
        {en, u"6 40", 0, mis, mis},        {en, u"640 ; width", 0, mis, mis},
        {en, u"2,5e", 0, mis, mis},        {de, u"2,5", 2, ok, ok},
        {de, u"3,5", 4, ok, ok},           {de, u"1.000", 1000, ok, ok},
        {de, u"1,000", 1, ok, ok},         {de, u"1,5e3", 1500, ok, ok},
        {de, u"2,5x", 0, mis, mis}};
    // clang-format on
    for (const auto& c : cases) {
        const QString text = q(c.text);
        SCOPED_TRACE((c.locale->name() + " '" + text + "'").toStdString());
        if (c.error32)
            EXPECT_EQ(errorOf([&] { convert::toInt32(text, *c.locale); }), c.error32);
        else
            EXPECT_EQ(convert::toInt32(text, *c.locale), c.value);
        if (c.error16)
            EXPECT_EQ(errorOf([&] { convert::toInt16(text, *c.locale); }), c.error16);
        else
            EXPECT_EQ(convert::toInt16(text, *c.locale), c.value);
    }
}

TEST(WholeText, IsPlainDecimal) {
    EXPECT_EQ(convert::wholeText(500), "500");
    EXPECT_EQ(convert::wholeText(-720), "-720");
    EXPECT_EQ(convert::wholeText(0), "0");
    EXPECT_EQ(convert::wholeText(std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
}

struct FractionCase {
    double value;
    const char* point;
    const char* comma;
};

TEST(FractionText, WritesFifteenSignificantDigitsInTheLocale) {
    const std::vector<FractionCase> cases = {
        {500, "500", "500"},
        {-720, "-720", "-720"},
        {60.0 / 7, "8.57142857142857", "8,57142857142857"},
        {60.0 / 7 * 60, "514.285714285714", "514,285714285714"},
        {60.0 / 7 * 60 * 24, "12342.8571428571", "12342,8571428571"},
        {60.0 / 2147483647, "2.79396772514748E-08", "2,79396772514748E-08"},
        {60.0 / -8, "-7.5", "-7,5"},
        {0.1 + 0.2, "0.3", "0,3"},
        {59.999999999999999, "60", "60"},
        {0.0, "0", "0"},
        {-0.0, "0", "0"},
        {0.0001, "0.0001", "0,0001"},
        {0.00012345, "0.00012345", "0,00012345"},
        {0.00001, "1E-05", "1E-05"},
        {-0.000015, "-1.5E-05", "-1,5E-05"},
        {999999999999999, "999999999999999", "999999999999999"},
        {999999999999999.9, "1E+15", "1E+15"},
        {1e15, "1E+15", "1E+15"},
        {123456789012345678.0, "1.23456789012346E+17", "1,23456789012346E+17"},
        {1e308, "1E+308", "1E+308"},
        {std::numeric_limits<double>::denorm_min(), "4.94065645841247E-324",
         "4,94065645841247E-324"},
        {std::numeric_limits<double>::infinity(), "Infinity", "Infinity"},
        {-std::numeric_limits<double>::infinity(), "-Infinity", "-Infinity"},
        {std::numeric_limits<double>::quiet_NaN(), "NaN", "NaN"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.point);
        EXPECT_EQ(convert::fractionText(c.value, english), QString::fromUtf8(c.point));
        EXPECT_EQ(convert::fractionText(c.value, german), QString::fromUtf8(c.comma));
    }
}

} // namespace
