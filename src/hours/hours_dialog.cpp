#include "hours/hours_dialog.h"

#include "hours/active_schedule.h"
#include "hours/sun_times.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimeEdit>
#include <QVBoxLayout>

namespace hours {

QString dayText(const ActiveHours& hours, QDate date, const QTimeZone& zone) {
    const ActiveSchedule schedule(hours, zone);
    const QList<ActiveSchedule::Span> spans = schedule.spans(date);
    if (spans.isEmpty()) {
        if (hours.kind == ActiveHours::Kind::Daylight &&
            sunTimes(date, hours.latitude, hours.longitude, zone).kind == SunDay::Kind::PolarNight)
            return QStringLiteral("none (the sun does not rise)");
        return QStringLiteral("none");
    }
    if (spans.size() == 1 && spans.front().begin.time() == QTime(0, 0) &&
        spans.front().end.date() > date) {
        if (hours.kind == ActiveHours::Kind::Daylight)
            return QStringLiteral("all day (the sun does not set)");
        return QStringLiteral("all day");
    }
    QStringList parts;
    for (const ActiveSchedule::Span& span : spans) {
        const QString end = span.end.date() > date ? QStringLiteral("24:00")
                                                   : span.end.toString(QStringLiteral("HH:mm"));
        parts << QStringLiteral("%1 to %2").arg(span.begin.toString(QStringLiteral("HH:mm")), end);
    }
    return parts.join(QStringLiteral(", "));
}

HoursDialog::HoursDialog(const ActiveHours& hours, QDate today, QTimeZone zone, QWidget* parent)
    : QDialog(parent), today_(today), zone_(std::move(zone)) {
    setWindowTitle(QStringLiteral("Hours"));
    setObjectName(QStringLiteral("HoursDialog"));
    auto* layout = new QVBoxLayout(this);

    always_ = new QRadioButton(QStringLiteral("Every hour"), this);
    clock_ = new QRadioButton(QStringLiteral("Only from a time to a time"), this);
    daylight_ = new QRadioButton(QStringLiteral("Only in daylight"), this);
    layout->addWidget(always_);
    layout->addWidget(clock_);

    auto* clockForm = new QFormLayout;
    from_ = new QTimeEdit(hours.from, this);
    to_ = new QTimeEdit(hours.to, this);
    for (QTimeEdit* edit : {from_, to_})
        edit->setDisplayFormat(QStringLiteral("HH:mm"));
    from_->setAccessibleName(QStringLiteral("From"));
    to_->setAccessibleName(QStringLiteral("To"));
    clockForm->addRow(QStringLiteral("From:"), from_);
    clockForm->addRow(QStringLiteral("To:"), to_);
    layout->addLayout(clockForm);

    layout->addWidget(daylight_);
    auto* sunForm = new QFormLayout;
    const auto degrees = [this](double limit, double value, const char* name) {
        auto* box = new QDoubleSpinBox(this);
        box->setRange(-limit, limit);
        box->setDecimals(4);
        box->setValue(value);
        box->setAccessibleName(QLatin1String(name));
        return box;
    };
    latitude_ = degrees(90, hours.latitude, "Latitude");
    longitude_ = degrees(180, hours.longitude, "Longitude");
    latitude_->setToolTip(QStringLiteral("Degrees north; south is negative"));
    longitude_->setToolTip(QStringLiteral("Degrees east; west is negative"));
    const auto offset = [this](int value, const char* name) {
        auto* box = new QSpinBox(this);
        box->setRange(-720, 720);
        box->setSuffix(QStringLiteral(" min"));
        box->setValue(value);
        box->setAccessibleName(QLatin1String(name));
        box->setToolTip(QStringLiteral("Negative: before; positive: after"));
        return box;
    };
    sunriseOffset_ = offset(hours.sunriseOffset, "Minutes from sunrise");
    sunsetOffset_ = offset(hours.sunsetOffset, "Minutes from sunset");
    sunForm->addRow(QStringLiteral("Latitude:"), latitude_);
    sunForm->addRow(QStringLiteral("Longitude:"), longitude_);
    sunForm->addRow(QStringLiteral("From sunrise:"), sunriseOffset_);
    sunForm->addRow(QStringLiteral("To sunset:"), sunsetOffset_);
    layout->addLayout(sunForm);

    preview_ = new QLabel(this);
    preview_->setObjectName(QStringLiteral("hoursPreview"));
    preview_->setAccessibleDescription(QStringLiteral("Today's and tomorrow's hours"));
    layout->addWidget(preview_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    (hours.kind == ActiveHours::Kind::Clock      ? clock_
     : hours.kind == ActiveHours::Kind::Daylight ? daylight_
                                                 : always_)
        ->setChecked(true);
    for (QRadioButton* choice : {always_, clock_, daylight_})
        connect(choice, &QRadioButton::toggled, this, &HoursDialog::updateLooks);
    for (QTimeEdit* edit : {from_, to_})
        connect(edit, &QTimeEdit::timeChanged, this, &HoursDialog::updateLooks);
    for (QDoubleSpinBox* box : {latitude_, longitude_})
        connect(box, &QDoubleSpinBox::valueChanged, this, &HoursDialog::updateLooks);
    for (QSpinBox* box : {sunriseOffset_, sunsetOffset_})
        connect(box, &QSpinBox::valueChanged, this, &HoursDialog::updateLooks);
    updateLooks();
}

ActiveHours HoursDialog::hours() const {
    ActiveHours result;
    result.kind = clock_->isChecked()      ? ActiveHours::Kind::Clock
                  : daylight_->isChecked() ? ActiveHours::Kind::Daylight
                                           : ActiveHours::Kind::Always;
    result.from = from_->time();
    result.to = to_->time();
    result.latitude = latitude_->value();
    result.longitude = longitude_->value();
    result.sunriseOffset = sunriseOffset_->value();
    result.sunsetOffset = sunsetOffset_->value();
    // A span of no length would take no pictures at all.
    if (result.kind == ActiveHours::Kind::Clock && result.from == result.to)
        result.kind = ActiveHours::Kind::Always;
    return result;
}

void HoursDialog::updateLooks() {
    for (QWidget* w : std::initializer_list<QWidget*>{from_, to_})
        w->setEnabled(clock_->isChecked());
    for (QWidget* w :
         std::initializer_list<QWidget*>{latitude_, longitude_, sunriseOffset_, sunsetOffset_})
        w->setEnabled(daylight_->isChecked());
    const ActiveHours chosen = hours();
    const QString text =
        QStringLiteral("Today: %1\nTomorrow: %2")
            .arg(dayText(chosen, today_, zone_), dayText(chosen, today_.addDays(1), zone_));
    preview_->setText(text);
    preview_->setAccessibleName(text);
}

} // namespace hours
