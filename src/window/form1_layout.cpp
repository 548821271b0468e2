// The window's controls, their initial values and looks, and the Idle/Running looks.
#include "window/app_icon.h"
#include "window/form1.h"
#include "window/status_area.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace window {

namespace {

// The layout is designed in twips, 15 to the pixel.
constexpr int px(int twips) {
    return twips / 15;
}

template <typename W> W* place(W* w, const char* name, int left, int top, int width, int height) {
    w->setObjectName(QLatin1String(name));
    w->setGeometry(px(left), px(top), px(width), px(height));
    return w;
}

QGroupBox* frame(QWidget* parent, const char* name, const char* caption, int l, int t, int w,
                 int h) {
    QGroupBox* box = place(new QGroupBox(QString::fromLatin1(caption), parent), name, l, t, w, h);
    // Qt would name a frame inside a frame after the outer one.
    box->setAccessibleName(box->title());
    return box;
}

QLabel* label(QWidget* parent, const char* name, const char* caption, int l, int t, int w, int h) {
    return place(new QLabel(QString::fromLatin1(caption), parent), name, l, t, w, h);
}

QLabel* boldLabel(QWidget* parent, const char* name, const char* caption, int l, int t, int w,
                  int h) {
    QLabel* result = label(parent, name, caption, l, t, w, h);
    QFont font = result->font();
    font.setBold(true);
    result->setFont(font);
    return result;
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, int l, int t, int w,
                    int h) {
    return place(new QPushButton(QString::fromLatin1(caption), parent), name, l, t, w, h);
}

void setTextColour(QWidget* w, const QColor& colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, colour);
    w->setPalette(palette);
}

} // namespace

// The window itself and the camera view; the Timer.
void Form1::buildWindow() {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Webcam Lumivex v0.03"));
    setWindowIcon(appIcon());
    QFont arial(QStringLiteral("Arial"));
    arial.setPointSizeF(8.25);
    setFont(arial);
    setFixedSize(px(9855), px(9975));

    Stage = place(new QWidget(this), "Stage", 120, 120, 9600, 7200);
    Stage->setFocusPolicy(Qt::StrongFocus);
    QFont sansSerif(QStringLiteral("MS Sans Serif"));
    sansSerif.setPointSizeF(8.25);
    Stage->setFont(sansSerif);

    Timer = new Ticker(deps_.clock, deps_.alarm, this);
    Timer->setObjectName(QStringLiteral("Timer"));
}

// Everything below the camera view, in its Idle look.
void Form1::buildPanel() {
    Frame1 = frame(this, "Frame1", "Panel", 120, 7440, 9615, 2415);

    Frame4 = frame(Frame1, "Frame4", "Settings", 120, 240, 1935, 2055);
    Label4 = label(Frame4, "Label4", "Interval:", 120, 240, 615, 255);
    txtInterval =
        place(new QLineEdit(QStringLiteral("10"), Frame4), "txtInterval", 840, 240, 495, 315);
    Label3 = label(Frame4, "Label3", "sec.", 1440, 240, 375, 255);

    Frame5 = frame(Frame1, "Frame5", "Calculation", 2160, 240, 2535, 2055);
    Label5 = label(Frame5, "Label5", "Photo's per minute:", 120, 240, 1575, 255);
    lblCalc1 = boldLabel(Frame5, "lblCalc1", "6", 1800, 240, 615, 255);
    Label6 = label(Frame5, "Label6", "Photo's per hour:", 120, 480, 1575, 255);
    lblCalc2 = boldLabel(Frame5, "lblCalc2", "360", 1800, 480, 615, 255);
    Label7 = label(Frame5, "Label7", "Photo's per day:", 120, 720, 1575, 255);
    lblCalc3 = boldLabel(Frame5, "lblCalc3", "8640", 1800, 720, 615, 255);

    Frame3 = frame(Frame1, "Frame3", "Stop", 4800, 240, 2535, 2055);
    optStop1 = place(new QRadioButton(QStringLiteral("When I say so"), Frame3), "optStop1", 120,
                     240, 1695, 255);
    optStop1->setChecked(true);
    optStop2 = place(new QRadioButton(QStringLiteral("After              pictures"), Frame3),
                     "optStop2", 120, 600, 2055, 255);
    // The stop count sits over the blank stretch of the caption: "After [50] pictures".
    txtStopAt = place(new QLineEdit(QStringLiteral("50"), Frame3), "txtStopAt", 840, 600, 495, 315);
    txtStopAt->setAccessibleName(QStringLiteral("Pictures to stop after"));
    txtStopAt->raise();
    lblCalc = label(Frame3, "lblCalc", "That is 500 seconds.", 360, 960, 1935, 255);

    Frame2 = frame(Frame1, "Frame2", "Status", 7440, 1440, 2055, 855);
    Label1 = label(Frame2, "Label1", "Timer:", 120, 240, 1215, 255);
    lblStatus = boldLabel(Frame2, "lblStatus", "Off", 1440, 240, 495, 255);
    Label2 = label(Frame2, "Label2", "Pictures taken:", 120, 480, 1215, 255);
    lblPicturesTaken = label(Frame2, "lblPicturesTaken", "0", 1440, 480, 495, 255);

    cmdStart = button(Frame1, "cmdStart", "Start Timer", 8280, 240, 1215, 375);
    cmdStop = button(Frame1, "cmdStop", "Stop Timer", 8280, 600, 1215, 375);
    cmdTakePic = button(Frame1, "cmdTakePic", "Take Picture", 8280, 960, 1215, 375);
    // In the free room of the Settings frame, below the interval.
    cmdMakeVideo = button(Frame4, "cmdMakeVideo", "", 120, 1560, 1695, 375);
    cmdMakeVideo->setText(QStringLiteral("Make Video\u2026"));
    // Above it, in the same free room.
    cmdCamera = button(Frame4, "cmdCamera", "", 120, 1170, 1695, 375);
    cmdCamera->setText(QStringLiteral("Camera\u2026"));
    // The pictures' format and stamp, in the free room between the interval and the buttons.
    Label8 = label(Frame4, "Label8", "Save as:", 120, 600, 615, 255);
    cboSaveAs = place(new QComboBox(Frame4), "cboSaveAs", 840, 600, 975, 300);
    for (auto format : {pictures::PictureFormat::Bmp, pictures::PictureFormat::Png,
                        pictures::PictureFormat::Jpeg})
        cboSaveAs->addItem(pictures::formatName(format));
    chkTimeStamp = place(new QCheckBox(QStringLiteral("Time stamp"), Frame4), "chkTimeStamp", 120,
                         915, 1695, 255);
    // Below the plan figures: how long the disk holds the pictures.
    lblDiskFull = label(Frame5, "lblDiskFull", "Disk full in: unknown", 120, 1080, 2295, 495);
    lblDiskFull->setWordWrap(true);
    lblDiskFull->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    // Below the panel: the run's times, its folder and its notes, the window growing for them.
    statusArea = new StatusArea(this);
    lblRunInfo = statusArea->label(StatusArea::Times);
    lblRunNote = statusArea->label(StatusArea::Resume);
    connect(statusArea, &StatusArea::changed, this, &Form1::fitAroundStage);
    // In the free column between the Stop frame and the run's buttons.
    cmdHours = button(Frame1, "cmdHours", "", 7380, 240, 840, 375);
    cmdHours->setText(QStringLiteral("Hours\u2026"));
    cmdHours->setAccessibleDescription(
        QStringLiteral("The hours of the day pictures are taken in"));
    cmdLookIn = button(Frame1, "cmdLookIn", "", 7380, 615, 840, 375);
    cmdLookIn->setText(QStringLiteral("Look in\u2026"));
    cmdLookIn->setVisible(false); // shown when the run's web page is turned on
    cmdRunFolder = button(Frame1, "cmdRunFolder", "", 7380, 990, 840, 375);
    cmdRunFolder->setText(QStringLiteral("Folder\u2026"));
    cmdRunFolder->setEnabled(false);

    // Named here rather than with Stage: naming a control starts the connection to the
    // accessibility bus, which at start-up can wait until the format dialog is ready.
    Stage->setAccessibleName(QStringLiteral("Camera view"));
    // Screen readers announce a text box by the caption beside it.
    Label4->setBuddy(txtInterval);
    txtInterval->setAccessibleName(QStringLiteral("Interval"));
    // Value labels keep their value as their accessible name; the caption beside them says what
    // it is.
    lblStatus->setAccessibleDescription(QStringLiteral("Timer status"));
    // A combo box is named by its value; the caption beside it labels it.
    Label8->setBuddy(cboSaveAs);
    cboSaveAs->setAccessibleDescription(QStringLiteral("The pictures' file format"));
    lblDiskFull->setAccessibleDescription(QStringLiteral("How long the disk holds the pictures"));

    setTabOrder(Stage, cmdStart);
    setTabOrder(cmdStart, cmdStop);
    setTabOrder(cmdStop, cmdTakePic);
    setTabOrder(cmdTakePic, txtInterval);
    setTabOrder(txtInterval, optStop1);
    setTabOrder(optStop1, optStop2);
    setTabOrder(optStop2, txtStopAt);
    setTabOrder(txtStopAt, cmdMakeVideo);
    setTabOrder(cmdMakeVideo, cmdCamera);
    setTabOrder(cmdCamera, cboSaveAs);
    setTabOrder(cboSaveAs, chkTimeStamp);
    setTabOrder(chkTimeStamp, cmdHours);
    setTabOrder(cmdHours, cmdLookIn);
    setTabOrder(cmdLookIn, cmdRunFolder);

    setRunning(false);
    colourBox(txtInterval, true);
    colourBox(txtStopAt, true);
    // Connected after the initial texts are in place: those raise no Change.
    connect(txtInterval, &QLineEdit::textChanged, this, &Form1::txtInterval_Change);
    connect(txtStopAt, &QLineEdit::textChanged, this, &Form1::txtStopAt_Change);
    connect(cmdStart, &QPushButton::clicked, this, &Form1::cmdStart_Click);
    connect(cmdStop, &QPushButton::clicked, this, &Form1::cmdStop_Click);
    connect(cmdTakePic, &QPushButton::clicked, this, &Form1::cmdTakePic_Click);
    connect(cmdMakeVideo, &QPushButton::clicked, this, &Form1::cmdMakeVideo_Click);
    connect(cmdCamera, &QPushButton::clicked, this, &Form1::cmdCamera_Click);
    connect(cmdHours, &QPushButton::clicked, this, &Form1::cmdHours_Click);
    connect(cmdRunFolder, &QPushButton::clicked, this, &Form1::cmdRunFolder_Click);
    connect(cboSaveAs, &QComboBox::currentIndexChanged, this, &Form1::cboSaveAs_Change);
    connect(chkTimeStamp, &QCheckBox::toggled, this, &Form1::chkTimeStamp_Click);
    connect(cmdLookIn, &QPushButton::clicked, this, &Form1::cmdLookIn_Click);
    cmdLookIn->setVisible(bool(deps_.lookIn));
    // The space a run takes depends on the stop option too.
    connect(optStop2, &QRadioButton::toggled, this, &Form1::updateSpaceTip);
    // Stage may have been sized already.
    fitAroundStage();
}

// The Idle and Running looks, in one place.
void Form1::setRunning(bool running) {
    Timer->setEnabled(running);
    setTextColour(lblStatus, running ? QColor(0, 255, 0) : QColor(255, 0, 0));
    lblStatus->setText(running ? QStringLiteral("On") : QStringLiteral("Off"));
    for (QWidget* w : {static_cast<QWidget*>(txtInterval), static_cast<QWidget*>(txtStopAt),
                       static_cast<QWidget*>(optStop1), static_cast<QWidget*>(optStop2),
                       static_cast<QWidget*>(cboSaveAs), static_cast<QWidget*>(chkTimeStamp)})
        w->setEnabled(!running);
    cmdStop->setEnabled(running);
    cmdTakePic->setEnabled(running);
    cmdStart->setEnabled(!running);
    cmdMakeVideo->setEnabled(!running && !makingVideo_);
    cmdHours->setEnabled(!running);
    updateCameraButton();
}

// Enabled when the camera has settings; otherwise its tooltip says why.
void Form1::updateCameraButton() {
    QString why = QStringLiteral("The camera has no settings of its own.");
    const bool available = deps_.cameraSettings && deps_.cameraSettings->available(&why);
    cmdCamera->setEnabled(available);
    cmdCamera->setToolTip(available ? QString() : why);
    cmdCamera->setAccessibleDescription(available ? QString() : why);
}

bool Form1::isRunning() const {
    return Timer->isEnabled();
}

void Form1::colourBox(QLineEdit* box, bool valid) {
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, valid ? QColor(255, 255, 255) : QColor(255, 0, 0));
    box->setPalette(palette);
}

// Stage takes the size from the settings.
void Form1::sizeStage(int width, int height) {
    Stage->resize(width, height);
    fitAroundStage();
}

// When Stage reaches into the panel or past the window's edge, the panel moves down and the
// window grows, so that nothing is hidden.
void Form1::fitAroundStage() {
    const int margin = px(120);
    const int panelTop = std::max(px(7440), Stage->geometry().bottom() + 1 + margin);
    if (Frame1) Frame1->move(Frame1->x(), panelTop);
    const int clientWidth = std::max(px(9855), Stage->geometry().right() + 1 + margin);
    int bottom = panelTop + px(2415);
    if (statusArea) {
        const int height = statusArea->heightFor(px(9615));
        statusArea->setGeometry(px(120), bottom + px(60), px(9615), height);
        if (height > 0) bottom += px(60) + height;
    }
    const int clientHeight = std::max(px(9975), bottom + margin);
    setFixedSize(clientWidth, clientHeight);
}

} // namespace window
