#pragma once

#include <QDialog>
#include <QLocale>
#include <QString>

class QComboBox;
class QLabel;
class QSpinBox;

namespace video {

// "Make Video": which run, how many frames per second, and what that gives.
class MakeVideoDialog : public QDialog {
    Q_OBJECT
public:
    MakeVideoDialog(const QString& picturesFolder, const QLocale& locale, QWidget* parent);

    QString run() const;
    int fps() const;

    QComboBox* runs = nullptr;
    QSpinBox* framesPerSecond = nullptr;
    QLabel* summary = nullptr;

private:
    void updateSummary();

    QString picturesFolder_;
    QLocale locale_;
};

} // namespace video
