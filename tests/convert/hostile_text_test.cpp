#include "convert/conversion_error.h"
#include "convert/numbers.h"

#include <QLocale>
#include <QString>
#include <gtest/gtest.h>
#include <random>
#include <vector>

// Texts a user can paste into a text box or a settings file. Every function must answer them
// without crashing, reading out of bounds (the sanitizer build checks that) or taking more than
// linear time (a million characters would not finish in the test timeout otherwise).
namespace {

const QLocale english(QLocale::English, QLocale::UnitedStates);
const QLocale german(QLocale::German, QLocale::Germany);

struct Outcome {
    bool numeric = false;
    bool leadingOverflows = false;
    bool localeOverflows = false;
    bool localeMismatch = false;
};

Outcome runAll(const QString& text, const QLocale& locale) {
    Outcome out;
    out.numeric = convert::isNumeric(text, locale);
    try {
        convert::leadingInt32(text);
    } catch (const convert::ConversionError& e) {
        out.leadingOverflows = e.number() == convert::ConversionError::Overflow;
    }
    try {
        convert::toInt32(text, locale);
    } catch (const convert::ConversionError& e) {
        out.localeOverflows = e.number() == convert::ConversionError::Overflow;
        out.localeMismatch = e.number() == convert::ConversionError::TypeMismatch;
    }
    try {
        convert::toInt16(text, locale);
    } catch (const convert::ConversionError&) {
    }
    return out;
}

struct HostileCase {
    QString name;
    QString text;
    bool numeric;
    bool leadingOverflows;
    bool localeMismatch;
};

TEST(HostileText, IsAnsweredWithAResultOrAConversionError) {
    const QString million9 = QString(1'000'000, u'9');
    const std::vector<HostileCase> cases = {
        {"a million nines", million9, false, true, false},
        {"a million zeros", QString(1'000'000, u'0'), true, false, false},
        {"a million blanks", QString(1'000'000, u' '), false, false, true},
        {"a million signs", QString(1'000'000, u'-'), false, false, true},
        {"a million points", QString(1'000'000, u'.'), false, false, true},
        {"a million separators", "1" + QString(1'000'000, u','), true, false, false},
        {"a million hex digits", "&H" + QString(1'000'000, u'F'), false, true, false},
        {"a huge exponent", "1e" + QString(100'000, u'9'), false, true, false},
        {"a huge negative exponent", "1e-" + QString(100'000, u'9'), true, false, false},
        {"1e999999", "1e999999", false, true, false},
        {"&HFFFFFFFFFFFF", "&HFFFFFFFFFFFF", false, true, false},
        {"control characters", QString::fromUtf16(u"\u0001\u0002\u001b[0m\u007f12"), false, false,
         true},
        {"right-to-left marks", QString::fromUtf16(u"\u202E\u200F12\u200F"), false, false, true},
        {"a lone surrogate", QString::fromUtf16(u"1\xD800"), false, false, true},
        {"embedded NUL", QString::fromUtf16(u"1\u00002", 3), false, false, true},
        {"lone minus", "-", false, false, true},
        {"lone plus", "+", false, false, true},
        {"lone ampersand", "&", false, false, true},
        {"minus zero", "-0", true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const Outcome out = runAll(c.text, english);
        EXPECT_EQ(out.numeric, c.numeric);
        EXPECT_EQ(out.leadingOverflows, c.leadingOverflows);
        EXPECT_EQ(out.localeMismatch, c.localeMismatch);
        runAll(c.text, german);
    }
}

TEST(HostileText, RandomTextNeverEscapesAsAnythingButAConversionError) {
    // Characters that steer the readers into every branch, mixed at random.
    const std::u16string alphabet = u"0123456789+-.,eEdD&HhOoFf \t\r\n\u00a0\u202f\u200f\u2212x";
    std::mt19937 random(20240607);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> length(0, 40);
    for (int i = 0; i < 20000; ++i) {
        QString text;
        for (int n = length(random); n > 0; --n)
            text += QChar(alphabet[pick(random)]);
        SCOPED_TRACE(text.toStdString());
        for (const QLocale* locale : {&english, &german}) {
            // A text fails the numeric test exactly when the conversion finds no number in it or
            // a number beyond any range.
            const Outcome out = runAll(text, *locale);
            EXPECT_EQ(out.localeMismatch, !out.numeric && !out.localeOverflows);
        }
        // Without thousands separators both readings of a numeric text agree.
        if (convert::isNumeric(text, english) && !text.contains(u',')) {
            try {
                EXPECT_EQ(convert::leadingInt32(text), convert::toInt32(text, english));
            } catch (const convert::ConversionError& e) {
                EXPECT_EQ(e.number(), convert::ConversionError::Overflow);
                EXPECT_THROW(convert::toInt32(text, english), convert::ConversionError);
            }
        }
    }
}

} // namespace
