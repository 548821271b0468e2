#pragma once

#include "hours/active_hours.h"

#include <QDate>
#include <QDialog>
#include <QTimeZone>

class QDoubleSpinBox;
class QLabel;
class QRadioButton;
class QSpinBox;
class QTimeEdit;

namespace hours {

// The active hours as the user sets them: every hour, a span of the clock, or daylight at a
// place with each end moved by some minutes; today's and tomorrow's hours shown as they would be.
class HoursDialog : public QDialog {
    Q_OBJECT
public:
    HoursDialog(const ActiveHours& hours, QDate today, QTimeZone zone, QWidget* parent = nullptr);

    ActiveHours hours() const;

private:
    void updateLooks();

    QDate today_;
    QTimeZone zone_;
    QRadioButton* always_ = nullptr;
    QRadioButton* clock_ = nullptr;
    QRadioButton* daylight_ = nullptr;
    QTimeEdit* from_ = nullptr;
    QTimeEdit* to_ = nullptr;
    QDoubleSpinBox* latitude_ = nullptr;
    QDoubleSpinBox* longitude_ = nullptr;
    QSpinBox* sunriseOffset_ = nullptr;
    QSpinBox* sunsetOffset_ = nullptr;
    QLabel* preview_ = nullptr;
};

// "07:12 to 16:48", "all day (the sun does not set)", "none (the sun does not rise)".
QString dayText(const ActiveHours& hours, QDate date, const QTimeZone& zone);

} // namespace hours
