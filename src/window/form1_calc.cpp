// Input checking and the plan figures.
#include "convert/conversion_error.h"
#include "convert/numbers.h"
#include "window/form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
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
    updateSpaceTip();
    updateDiskEstimate();

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
    // Only the active hours of a day take pictures.
    const double perDay = perHour * 24.0 * activeShare();
    lblCalc1->setText(convert::fractionText(perMinute, deps_.locale));
    lblCalc2->setText(convert::fractionText(perHour, deps_.locale));
    lblCalc3->setText(convert::fractionText(perDay, deps_.locale));
}

double Form1::activeShare() const {
    if (schedule_.always()) return 1.0;
    // Daylight changes from day to day: the coming week's mean.
    const QDate today = deps_.clock.localNow().date();
    qint64 active = 0;
    for (int day = 0; day < 7; ++day)
        active += schedule_.activeSeconds(today.addDays(day));
    return double(active) / (7.0 * 86400.0);
}

// The plan in bytes: what a run of the chosen length takes at the chosen format, and what is free.
void Form1::updateSpaceTip() {
    const QSize size = deps_.camera.pictureSize();
    const std::int64_t picture = pictureBytesForSpace();
    if (picture <= 0) return;
    const std::int64_t free = deps_.freeSpace(picturesFolder());
    const QString freeText =
        free < 0 ? QStringLiteral("unknown") : deps_.locale.formattedDataSize(free);
    const std::optional<std::int32_t> count = readLeading(txtStopAt->text());
    QString tip;
    if (optStop2->isChecked() && count && *count > 0)
        tip = QStringLiteral("A run of %1 pictures at %2 x %3 takes %4; %5 free.")
                  .arg(convert::wholeText(*count))
                  .arg(size.width())
                  .arg(size.height())
                  .arg(deps_.locale.formattedDataSize(picture * *count), freeText);
    else
        tip = QStringLiteral("Each picture at %1 x %2 takes %3; %4 free.")
                  .arg(size.width())
                  .arg(size.height())
                  .arg(deps_.locale.formattedDataSize(picture), freeText);
    lblCalc->setToolTip(tip);
}

} // namespace window
