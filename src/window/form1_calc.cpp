// Input checking and the plan figures.
#include "convert/conversion_error.h"
#include "convert/numbers.h"
#include "window/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <cmath>
#include <limits>
#include <optional>

namespace window {

namespace {

std::optional<std::int32_t> readLeading(const QString& text) {
    try {
        return convert::leadingInt32(text);
    } catch (const convert::ConversionError&) {
        return std::nullopt;
    }
}

} // namespace

void Form1::txtInterval_Change() {
    const bool valid = convert::isNumeric(txtInterval->text(), deps_.locale);
    colourBox(txtInterval, valid);
    if (valid) CalcNew();
}

void Form1::txtStopAt_Change() {
    const bool valid = convert::isNumeric(txtStopAt->text(), deps_.locale);
    colourBox(txtStopAt, valid);
    if (valid) CalcNew();
}

// Each figure that cannot be computed (a product beyond 32 bits, a division by zero, a number
// too large to read) keeps its previous text; the others are still updated.
void Form1::CalcNew() {
    if (!convert::isNumeric(txtStopAt->text(), deps_.locale) ||
        !convert::isNumeric(txtInterval->text(), deps_.locale))
        return;
    const std::optional<std::int32_t> stopAt = readLeading(txtStopAt->text());
    const std::optional<std::int32_t> interval = readLeading(txtInterval->text());

    if (stopAt && interval) {
        const std::int64_t seconds = std::int64_t(*stopAt) * *interval;
        if (seconds >= std::numeric_limits<std::int32_t>::min() &&
            seconds <= std::numeric_limits<std::int32_t>::max())
            lblCalc->setText(
                QStringLiteral("That is %1 seconds.").arg(convert::wholeText(seconds)));
    }
    if (!interval || *interval == 0) return;

    const double perMinute = 60.0 / *interval;
    const double perHour = perMinute * 60.0;
    const double perDay = perHour * 24.0;
    lblCalc1->setText(convert::fractionText(perMinute, deps_.locale));
    lblCalc2->setText(convert::fractionText(perHour, deps_.locale));
    lblCalc3->setText(convert::fractionText(perDay, deps_.locale));
}

} // namespace window
