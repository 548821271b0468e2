#include "convert/numbers.h"

#include "convert/conversion_error.h"

#include <QStringView>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>
#include <system_error>

namespace convert {
namespace {

// Texts come from text boxes and the settings file, so every reader below is a single forward
// pass: no backtracking, no allocation that grows faster than the input.

bool isBlank(QChar c) {
    const char16_t u = c.unicode();
    return u == u' ' || u == u'\t' || u == u'\n' || u == u'\r';
}

int digitValue(QChar c, int base) {
    const char16_t u = c.unicode();
    int d = -1;
    if (u >= u'0' && u <= u'9')
        d = u - u'0';
    else if (u >= u'a' && u <= u'f')
        d = u - u'a' + 10;
    else if (u >= u'A' && u <= u'F')
        d = u - u'A' + 10;
    return d < base ? d : -1;
}

bool isDecimalDigit(QChar c) {
    return digitValue(c, 10) >= 0;
}

// Beyond this many significant digits only "something non-zero follows" matters for rounding
// a double (768 digits decide every halfway case), so longer mantissas are cut and a sticky
// digit stands in for the rest. This keeps the work per number bounded.
constexpr std::size_t kKeptDigits = 800;

// Saturation point for exponents written in the text; anything this large is out of double
// range whatever the mantissa, and capping keeps the arithmetic far from int64 overflow.
constexpr std::int64_t kExponentCap = 1'000'000'000'000;

// The digits of a decimal number as they are read, turned into a correctly rounded double.
class DecimalDigits {
public:
    void integerDigit(char c) { push(c); }
    void fractionDigit(char c) {
        push(c);
        ++fractionDigits_;
    }
    bool empty() const { return !seenDigit_; }

    // The value times ten to `exponent`. Throws ConversionError(Overflow) beyond double range;
    // values too small for a double become zero.
    double value(bool negative, std::int64_t exponent) const {
        const double zero = negative ? -0.0 : 0.0;
        if (digits_.empty()) return zero;
        std::string text = digits_;
        std::int64_t scale = exponent - fractionDigits_ + droppedDigits_;
        if (sticky_) {
            text.push_back('1');
            --scale;
        }
        // The value lies in [10^(n-1+scale), 10^(n+scale)).
        const auto n = static_cast<std::int64_t>(text.size());
        if (n - 1 + scale > std::numeric_limits<double>::max_exponent10)
            throw ConversionError(ConversionError::Overflow);
        if (n + scale < -324) // below half the smallest subnormal
            return zero;
        text.push_back('e');
        text += std::to_string(scale);
        double result = 0;
        const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), result);
        (void)end;
        if (ec == std::errc::result_out_of_range) {
            if (n + scale > 0) throw ConversionError(ConversionError::Overflow);
            return zero;
        }
        if (ec != std::errc() || !std::isfinite(result))
            throw ConversionError(ConversionError::Overflow);
        return negative ? -result : result;
    }

private:
    void push(char c) {
        seenDigit_ = true;
        if (digits_.empty() && c == '0')
            return; // leading zeros carry no value, only the fraction count matters
        if (digits_.size() < kKeptDigits) {
            digits_.push_back(c);
        } else {
            ++droppedDigits_;
            sticky_ = sticky_ || c != '0';
        }
    }

    std::string digits_;
    std::int64_t fractionDigits_ = 0;
    std::int64_t droppedDigits_ = 0;
    bool sticky_ = false;
    bool seenDigit_ = false;
};

void addExponentDigit(std::int64_t& exponent, QChar c) {
    if (exponent < kExponentCap) exponent = exponent * 10 + (c.unicode() - u'0');
}

// The &H and &O forms are read as 16-bit values up to &HFFFF and as 32-bit values up to
// &HFFFFFFFF, so their top bit is a sign bit: &HFFFF is -1 and &H8000 is -32768, while
// &H10000 is 65536. Anything wider does not fit.
double radixValue(std::uint64_t value) {
    if (value <= 0xFFFF) return static_cast<std::int16_t>(static_cast<std::uint16_t>(value));
    if (value <= 0xFFFFFFFF) return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
    throw ConversionError(ConversionError::Overflow);
}

int radixBase(QChar letter) {
    const char16_t u = letter.unicode();
    if (u == u'H' || u == u'h') return 16;
    if (u == u'O' || u == u'o') return 8;
    return 0;
}

// Accumulates radix digits without overflowing: once past 32 bits the value is only
// remembered as too wide.
void addRadixDigit(std::uint64_t& value, int base, int digit) {
    if (value <= 0xFFFFFFFF)
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
}

bool startsWithAt(QStringView text, qsizetype pos, const QString& token) {
    return !token.isEmpty() && text.sliced(pos).startsWith(token);
}

enum class Parse { Number, NotNumber, Overflow };

struct Parsed {
    Parse status = Parse::NotNumber;
    double value = 0;
};

// The whole text as a number in the locale: blanks around it, an optional sign, digits with
// the locale's thousands separators after the first digit, the locale's decimal separator,
// an E/e exponent; or an &H/&O form.
Parsed parseLocaleNumber(QStringView text, const QLocale& locale) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    const QStringView t = text.sliced(begin, end - begin);
    const qsizetype size = t.size();
    if (size == 0) return {};

    try {
        if (t[0] == u'&') {
            const int base = size >= 2 ? radixBase(t[1]) : 0;
            if (base == 0 || size == 2) return {};
            std::uint64_t value = 0;
            for (qsizetype i = 2; i < size; ++i) {
                const int d = digitValue(t[i], base);
                if (d < 0) return {};
                addRadixDigit(value, base, d);
            }
            return {Parse::Number, radixValue(value)};
        }

        qsizetype pos = 0;
        bool negative = false;
        const QString minus = locale.negativeSign();
        const QString plus = locale.positiveSign();
        if (t[0] == u'-' || t[0] == u'+') {
            negative = t[0] == u'-';
            ++pos;
        } else if (startsWithAt(t, 0, minus)) {
            negative = true;
            pos += minus.size();
        } else if (startsWithAt(t, 0, plus)) {
            pos += plus.size();
        }

        const QString decimal = locale.decimalPoint();
        const QString group = locale.groupSeparator();
        DecimalDigits digits;
        bool integerDigits = false;
        while (pos < size) {
            if (isDecimalDigit(t[pos])) {
                digits.integerDigit(static_cast<char>(t[pos].unicode()));
                integerDigits = true;
                ++pos;
            } else if (startsWithAt(t, pos, decimal)) {
                break;
            } else if (integerDigits && startsWithAt(t, pos, group)) {
                pos += group.size();
            } else {
                break;
            }
        }
        if (startsWithAt(t, pos, decimal)) {
            pos += decimal.size();
            while (pos < size && isDecimalDigit(t[pos])) {
                digits.fractionDigit(static_cast<char>(t[pos].unicode()));
                ++pos;
            }
        }
        if (digits.empty()) return {};

        std::int64_t exponent = 0;
        if (pos < size && (t[pos] == u'E' || t[pos] == u'e')) {
            ++pos;
            bool negativeExponent = false;
            if (pos < size && (t[pos] == u'-' || t[pos] == u'+')) {
                negativeExponent = t[pos] == u'-';
                ++pos;
            }
            if (pos >= size || !isDecimalDigit(t[pos])) return {};
            while (pos < size && isDecimalDigit(t[pos]))
                addExponentDigit(exponent, t[pos++]);
            if (negativeExponent) exponent = -exponent;
        }
        if (pos != size) return {};
        return {Parse::Number, digits.value(negative, exponent)};
    } catch (const ConversionError&) {
        return {Parse::Overflow, 0};
    }
}

template <typename Int> Int roundTo(double value) {
    // NaN fails both comparisons below, so it is reported as an overflow too.
    const double whole = std::floor(value);
    const double rest = value - whole; // exact for every finite double
    double rounded = whole;
    if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) rounded = whole + 1;
    if (!(rounded >= static_cast<double>(std::numeric_limits<Int>::min()) &&
          rounded <= static_cast<double>(std::numeric_limits<Int>::max())))
        throw ConversionError(ConversionError::Overflow);
    return static_cast<Int>(rounded);
}

template <typename Int> Int localeToInt(const QString& text, const QLocale& locale) {
    const Parsed parsed = parseLocaleNumber(text, locale);
    if (parsed.status == Parse::NotNumber) throw ConversionError(ConversionError::TypeMismatch);
    if (parsed.status == Parse::Overflow) throw ConversionError(ConversionError::Overflow);
    return roundTo<Int>(parsed.value);
}

// Reads characters front to back, stepping over blanks wherever they are.
class BlankSkippingCursor {
public:
    explicit BlankSkippingCursor(QStringView text) : text_(text) {}

    // The next non-blank character, or U+0000 at the end.
    QChar peek() {
        while (pos_ < text_.size() && isBlank(text_[pos_]))
            ++pos_;
        return pos_ < text_.size() ? text_[pos_] : QChar();
    }
    void advance() { ++pos_; }
    bool atEnd() {
        peek();
        return pos_ >= text_.size();
    }

private:
    QStringView text_;
    qsizetype pos_ = 0;
};

} // namespace

bool isNumeric(const QString& text, const QLocale& locale) {
    return parseLocaleNumber(text, locale).status == Parse::Number;
}

double leadingNumber(const QString& text) {
    BlankSkippingCursor cursor(text);

    if (cursor.peek() == u'&') {
        cursor.advance();
        const int base = radixBase(cursor.peek());
        if (base == 0) return 0;
        cursor.advance();
        std::uint64_t value = 0;
        bool any = false;
        while (!cursor.atEnd()) {
            const int d = digitValue(cursor.peek(), base);
            if (d < 0) break;
            addRadixDigit(value, base, d);
            any = true;
            cursor.advance();
        }
        return any ? radixValue(value) : 0;
    }

    bool negative = false;
    if (cursor.peek() == u'-' || cursor.peek() == u'+') {
        negative = cursor.peek() == u'-';
        cursor.advance();
    }
    DecimalDigits digits;
    for (; !cursor.atEnd() && isDecimalDigit(cursor.peek()); cursor.advance())
        digits.integerDigit(static_cast<char>(cursor.peek().unicode()));
    if (cursor.peek() == u'.') {
        cursor.advance();
        for (; !cursor.atEnd() && isDecimalDigit(cursor.peek()); cursor.advance())
            digits.fractionDigit(static_cast<char>(cursor.peek().unicode()));
    }
    if (digits.empty()) return 0;

    // An exponent letter without digits after it counts as an exponent of zero.
    std::int64_t exponent = 0;
    const QChar letter = cursor.peek();
    if (letter == u'E' || letter == u'e' || letter == u'D' || letter == u'd') {
        cursor.advance();
        bool negativeExponent = false;
        if (cursor.peek() == u'-' || cursor.peek() == u'+') {
            negativeExponent = cursor.peek() == u'-';
            cursor.advance();
        }
        for (; !cursor.atEnd() && isDecimalDigit(cursor.peek()); cursor.advance())
            addExponentDigit(exponent, cursor.peek());
        if (negativeExponent) exponent = -exponent;
    }
    return digits.value(negative, exponent);
}

std::int32_t roundToInt32(double value) {
    return roundTo<std::int32_t>(value);
}

std::int16_t roundToInt16(double value) {
    return roundTo<std::int16_t>(value);
}

std::int32_t leadingInt32(const QString& text) {
    return roundToInt32(leadingNumber(text));
}

std::int32_t toInt32(const QString& text, const QLocale& locale) {
    return localeToInt<std::int32_t>(text, locale);
}

std::int16_t toInt16(const QString& text, const QLocale& locale) {
    return localeToInt<std::int16_t>(text, locale);
}

QString wholeText(std::int64_t value) {
    return QString::number(value);
}

QString fractionText(double value, const QLocale& locale) {
    if (std::isnan(value)) return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("Infinity") : QStringLiteral("-Infinity");
    if (value == 0) return QStringLiteral("0"); // negative zero too

    // 15 significant digits, correctly rounded: "-d.ddddddddddddddde+XX".
    char buffer[64];
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    if (ec != std::errc())
        return QString(); // cannot happen: the buffer holds any double at this precision
    const std::string_view text(buffer, static_cast<std::size_t>(end - buffer));
    const bool negative = text.front() == '-';
    const std::size_t e = text.find('e');
    std::string digits;
    for (char c : text.substr(negative ? 1 : 0, e - (negative ? 1 : 0)))
        if (c != '.') digits.push_back(c);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();
    int exponent = 0;
    std::from_chars(text.data() + e + 1 + (text[e + 1] == '+' ? 1 : 0), text.data() + text.size(),
                    exponent);

    const QString decimal = locale.decimalPoint();
    QString out;
    if (negative) out += u'-';
    if (exponent < -4 || exponent >= 15) {
        out += QLatin1Char(digits[0]);
        if (digits.size() > 1) {
            out += decimal;
            out += QLatin1String(digits.data() + 1, static_cast<qsizetype>(digits.size() - 1));
        }
        out += exponent < 0 ? QStringLiteral("E-") : QStringLiteral("E+");
        out += QStringLiteral("%1").arg(std::abs(exponent), 2, 10, QLatin1Char('0'));
    } else if (exponent < 0) {
        out += u'0';
        out += decimal;
        out += QString(-exponent - 1, u'0');
        out += QLatin1String(digits.data(), static_cast<qsizetype>(digits.size()));
    } else {
        const auto wholeDigits = static_cast<std::size_t>(exponent) + 1;
        for (std::size_t i = 0; i < wholeDigits; ++i)
            out += QLatin1Char(i < digits.size() ? digits[i] : '0');
        if (digits.size() > wholeDigits) {
            out += decimal;
            out += QLatin1String(digits.data() + wholeDigits,
                                 static_cast<qsizetype>(digits.size() - wholeDigits));
        }
    }
    return out;
}

} // namespace convert
