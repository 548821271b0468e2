#include "convert/conversion_error.h"
#include "convert/numbers.h"

#include <QLocale>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Anything other than a result or a ConversionError escaping is a finding; so is a numeric text
// the conversion then refuses as not a number.
void exercise(const QString& text, const QLocale& locale) {
    const bool numeric = convert::isNumeric(text, locale);
    try {
        convert::toInt32(text, locale);
    } catch (const convert::ConversionError& e) {
        if (numeric && e.number() == convert::ConversionError::TypeMismatch) std::abort();
    }
    try {
        convert::toInt16(text, locale);
    } catch (const convert::ConversionError&) {
    }
    try {
        const double value = convert::leadingNumber(text);
        convert::fractionText(value, locale);
        convert::leadingInt32(text);
    } catch (const convert::ConversionError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    static const QLocale german(QLocale::German, QLocale::Germany);

    const auto* chars = reinterpret_cast<const char*>(data);
    const auto length = static_cast<qsizetype>(size);
    // Read the bytes both as UTF-8 and as raw UTF-16 so that lone surrogates, NULs and
    // right-to-left marks reach the parsers too.
    const QString utf8 = QString::fromUtf8(chars, length);
    const QString utf16 = QString::fromUtf16(reinterpret_cast<const char16_t*>(data), length / 2);
    for (const QString* text : {&utf8, &utf16}) {
        exercise(*text, english);
        exercise(*text, german);
    }

    // The bytes as a double, for the number text.
    if (size >= sizeof(double)) {
        double value;
        std::memcpy(&value, data, sizeof value);
        convert::fractionText(value, english);
        convert::fractionText(value, german);
    }
    return 0;
}
