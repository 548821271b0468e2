#include "video/make_video_dialog.h"

#include "video/run_list.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>

namespace video {

namespace {

// "12.4 seconds", "3 min 20.0 s".
QString lengthText(double seconds, const QLocale& locale) {
    if (seconds < 60) return QStringLiteral("%1 seconds").arg(locale.toString(seconds, 'f', 1));
    const int minutes = int(seconds / 60);
    return QStringLiteral("%1 min %2 s")
        .arg(locale.toString(minutes), locale.toString(seconds - 60.0 * minutes, 'f', 1));
}

} // namespace

MakeVideoDialog::MakeVideoDialog(const QString& picturesFolder, const QLocale& locale,
                                 QWidget* parent)
    : QDialog(parent), picturesFolder_(picturesFolder), locale_(locale) {
    setObjectName(QStringLiteral("MakeVideo"));
    setWindowTitle(QStringLiteral("Make Video"));

    runs = new QComboBox(this);
    runs->addItems(listRuns(picturesFolder_, locale_));
    runs->setAccessibleName(QStringLiteral("Run"));
    framesPerSecond = new QSpinBox(this);
    framesPerSecond->setRange(1, 120);
    framesPerSecond->setValue(25);
    framesPerSecond->setAccessibleName(QStringLiteral("Frames per second"));
    summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("summary"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("&Run:"), runs);
    form->addRow(QStringLiteral("&Frames per second:"), framesPerSecond);
    form->addRow(QStringLiteral("Video:"), summary);
    form->addRow(buttons);

    connect(runs, &QComboBox::currentIndexChanged, this, &MakeVideoDialog::updateSummary);
    connect(framesPerSecond, &QSpinBox::valueChanged, this, &MakeVideoDialog::updateSummary);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateSummary();
}

QString MakeVideoDialog::run() const {
    return runs->currentText();
}

int MakeVideoDialog::fps() const {
    return framesPerSecond->value();
}

void MakeVideoDialog::updateSummary() {
    if (run().isEmpty()) {
        summary->setText(QStringLiteral("There are no runs yet."));
        return;
    }
    const auto count = scanRun(picturesFolder_ + QLatin1Char('/') + run()).pictures.size();
    summary->setText(QStringLiteral("%1 picture(s): a video of %2.")
                         .arg(locale_.toString(count), lengthText(double(count) / fps(), locale_)));
}

} // namespace video
