#pragma once

#include <QLocale>
#include <QString>
#include <cstdint>

// Number reading and writing as the window and the start-up use them. Every function is pure:
// the locale is passed in (the user's by default) so tests can pin it.
namespace convert {

// True when the whole text (blanks around it allowed) reads as a number in the locale:
// optional sign, digits with the locale's thousands separators, the locale's decimal
// separator, an exponent with E or e, or the &H (hexadecimal) and &O (octal) forms. A number
// beyond double range, or an &H/&O form wider than 32 bits, fails. A text that passes never
// gives a type mismatch in toInt32() or toInt16().
bool isNumeric(const QString& text, const QLocale& locale = QLocale());

// Reads the longest number at the start of the text: blanks anywhere are skipped, a point is
// the decimal separator whatever the locale, E/e/D/d start an exponent, &H and &O forms are
// read; it stops at the first other character. No number gives 0. &H and &O values up to &HFFFF
// are 16-bit and up to &HFFFFFFFF 32-bit, so their top bit is the sign (&HFFFF is -1, &H10000 is
// 65536); the locale conversions below read them the same way.
// Throws ConversionError(Overflow) when the number is beyond double range or is an &H/&O form
// wider than 32 bits.
double leadingNumber(const QString& text);

// Rounds to a whole number, halves to the even neighbour.
// Throws ConversionError(Overflow) when the result does not fit (NaN included).
std::int32_t roundToInt32(double value);
std::int16_t roundToInt16(double value);

// leadingNumber() then roundToInt32().
std::int32_t leadingInt32(const QString& text);

// Converts the whole text, read in the locale, to a whole number (halves to even).
// Throws ConversionError(TypeMismatch) for text that is not a number (empty included) and
// ConversionError(Overflow) for a value out of range.
std::int32_t toInt32(const QString& text, const QLocale& locale = QLocale());
std::int16_t toInt16(const QString& text, const QLocale& locale = QLocale());

// Plain decimal: leading minus for negatives, no grouping, no leading zeros.
QString wholeText(std::int64_t value);

// General number format: 15 significant digits, trailing zeros dropped, the locale's decimal
// separator, exponent form ("2.79396772514748E-08", "1E+15") below 1E-4 and from 1E+15.
// Never throws: infinities and NaN come out as "Infinity", "-Infinity" and "NaN".
QString fractionText(double value, const QLocale& locale = QLocale());

} // namespace convert
