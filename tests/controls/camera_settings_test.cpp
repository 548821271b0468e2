#include "controls/camera_controls.h"
#include "controls/camera_settings_dialog.h"
#include "controls/camera_settings_store.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QSettings>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

using camera::CameraControl;
using Kind = CameraControl::Kind;

CameraControl control(std::uint32_t id, Kind kind, const char* name, std::int64_t value) {
    CameraControl c;
    c.id = id;
    c.kind = kind;
    c.name = QString::fromLatin1(name);
    c.key = camera::controlKey(c.name);
    c.minimum = 0;
    c.maximum = 255;
    c.step = 1;
    c.value = value;
    return c;
}

TEST(CameraSettingsStore, KeepsEachCamerasValuesAndSaysWhenItCannotWrite) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Cameras.ini");
    // A file the user edited: its comments and order stay, sections are named as they are.
    const QByteArray edited = "; my cameras\r\n[HD Webcam (usb-1.2)]\r\n; too dark otherwise\r\n"
                              "contrast=30\r\nbrightness=1\r\n";
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(edited);
    }
    controls::CameraSettingsStore store(path);
    QString error;
    ASSERT_TRUE(store.setValue("HD Webcam (usb-1.2)", "brightness", 200, &error));
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray(edited).replace("brightness=1", "brightness=200"));
    }
    ASSERT_TRUE(store.setValue("Other [cam] (usb-3)", "brightness", 10, &error));
    ASSERT_TRUE(store.setHold("HD Webcam (usb-1.2)", true, &error));
    // Read back by a store of its own, as at the next start of the program.
    const controls::CameraSettingsStore again(path);
    EXPECT_EQ(again.values("HD Webcam (usb-1.2)").value("brightness"), 200);
    EXPECT_EQ(again.values("Other [cam] (usb-3)").value("brightness"), 10);
    EXPECT_TRUE(again.hold("HD Webcam (usb-1.2)"));
    EXPECT_FALSE(again.hold("Other [cam] (usb-3)"));
    EXPECT_EQ(again.values("HD Webcam (usb-1.2)").value("contrast"), 30);
    ASSERT_TRUE(store.clearValues("HD Webcam (usb-1.2)", &error));
    EXPECT_TRUE(again.values("HD Webcam (usb-1.2)").isEmpty());
    EXPECT_TRUE(again.hold("HD Webcam (usb-1.2)"));

    // Settings kept by an earlier version through QSettings, under its escaped section name, are
    // read and changed where they are.
    {
        QSettings earlier(dir.filePath("Earlier.ini"), QSettings::IniFormat);
        earlier.setValue("Cam 2 (usb-1.4)/brightness", 77);
        earlier.setValue("Cam 2 (usb-1.4)/HoldDuringRun", 1);
    }
    controls::CameraSettingsStore upgraded(dir.filePath("Earlier.ini"));
    EXPECT_EQ(upgraded.values("Cam 2 (usb-1.4)").value("brightness"), 77);
    EXPECT_TRUE(upgraded.hold("Cam 2 (usb-1.4)"));
    ASSERT_TRUE(upgraded.setValue("Cam 2 (usb-1.4)", "brightness", 78, &error));
    EXPECT_EQ(upgraded.values("Cam 2 (usb-1.4)").value("brightness"), 78);
    ASSERT_TRUE(upgraded.clearValues("Cam 2 (usb-1.4)", &error));
    EXPECT_TRUE(upgraded.values("Cam 2 (usb-1.4)").isEmpty());

    // A file where its folder should be: no user, root included, can write there.
    QFile blocker(dir.filePath("blocker"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    controls::CameraSettingsStore nowhere(dir.filePath("blocker/Cameras.ini"));
    EXPECT_FALSE(nowhere.setValue("cam", "brightness", 1, &error));
    EXPECT_TRUE(error.contains("Cameras.ini")) << error.toStdString();
}

TEST(CameraSettingsDialog, ShowsEachKindAsItsEditorRespectingTheDriversFlags) {
    controls::CameraSettingsDialog dialog;
    CameraControl userClass = control(0x980001, Kind::Class, "User Controls", 0);
    CameraControl gain = control(0x980913, Kind::Integer, "Gain", 40);
    gain.inactive = true; // made so by the automatic gain
    CameraControl autogain = control(0x980912, Kind::Boolean, "Gain, Automatic", 1);
    CameraControl status = control(0x980999, Kind::Integer, "Status", 3);
    status.readOnly = true;
    CameraControl pattern = control(0x9f0901, Kind::Menu, "Test Pattern", 1);
    pattern.menu = {{0, "Bars"}, {1, "Checkers"}};
    dialog.showControls({userClass, control(0x980900, Kind::Integer, "Brightness", 128), autogain,
                         gain, status, pattern});

    const auto groups = dialog.findChildren<QGroupBox*>();
    ASSERT_EQ(groups.size(), 1);
    EXPECT_EQ(groups.first()->title(), "User Controls");
    QSlider* brightness = nullptr;
    QSlider* gainSlider = nullptr;
    for (QSlider* slider : dialog.findChildren<QSlider*>()) {
        if (slider->accessibleName() == "Brightness") brightness = slider;
        if (slider->accessibleName() == "Gain") gainSlider = slider;
    }
    ASSERT_TRUE(brightness && gainSlider);
    EXPECT_EQ(brightness->value(), 128);
    EXPECT_EQ(brightness->maximum(), 255);
    EXPECT_FALSE(gainSlider->isEnabled());
    auto* combo = dialog.findChild<QComboBox*>();
    ASSERT_TRUE(combo);
    EXPECT_EQ(combo->currentText(), "Checkers");

    // A change is asked for, not shown: the camera's answer decides.
    QSignalSpy asked(&dialog, &controls::CameraSettingsDialog::changeRequested);
    brightness->setValue(200);
    ASSERT_EQ(asked.count(), 1);
    EXPECT_EQ(asked.first().at(1).value<std::int64_t>(), 200);
    dialog.showControls({userClass, control(0x980900, Kind::Integer, "Brightness", 128), autogain,
                         gain, status, pattern},
                        0x980900, "Numerical result out of range");
    EXPECT_EQ(brightness->value(), 128);
    QStringList reasons;
    for (QLabel* label : dialog.findChildren<QLabel*>("reason"))
        if (!label->isHidden()) reasons << label->text();
    EXPECT_EQ(reasons, QStringList({"Numerical result out of range"}));

    // Settings that cannot be kept for the next start are said, and the notice goes once they can.
    auto* problem = dialog.findChild<QLabel*>("storeProblem");
    ASSERT_TRUE(problem);
    dialog.showStoreProblem("The camera settings cannot be written to /x/Cameras.ini.");
    EXPECT_FALSE(problem->isHidden());
    EXPECT_TRUE(problem->text().startsWith("The camera settings cannot be written"));
    dialog.showStoreProblem({});
    EXPECT_TRUE(problem->isHidden());
}

// What the camera process says about its controls is not trusted to stay as it was: the same
// controls of another kind get editors of their kind, and the widest range gives no overflow.
TEST(CameraSettingsDialog, ControlsThatChangeKindOrSpanEveryIntegerAreShownSafely) {
    controls::CameraSettingsDialog dialog;
    dialog.showControls({control(0x980900, Kind::Integer, "Brightness", 128),
                         control(0x980912, Kind::Boolean, "Gain, Automatic", 1)});
    CameraControl wide = control(0x980900, Kind::Integer, "Brightness", 0);
    wide.minimum = std::numeric_limits<std::int64_t>::min();
    wide.maximum = std::numeric_limits<std::int64_t>::max();
    wide.step = std::numeric_limits<std::int64_t>::max();
    dialog.showControls({wide, control(0x980912, Kind::Integer, "Gain, Automatic", 7)});
    QSlider* gain = nullptr;
    for (QSlider* slider : dialog.findChildren<QSlider*>())
        if (slider->accessibleName() == "Gain, Automatic") gain = slider;
    ASSERT_TRUE(gain);
    EXPECT_EQ(gain->value(), 7);
    for (QSlider* slider : dialog.findChildren<QSlider*>())
        EXPECT_GT(slider->pageStep(), 0);
}

// The camera's controls as a test tells them; what is asked of them is kept.
class FakeControls : public camera::ControlsPort {
public:
    QString noControlsReason() const override { return {}; }
    void requestControls() override {}
    void setControl(std::uint32_t, std::int64_t) override {}
    void applyControls(const Values&) override {}
    void holdControls(bool) override {}
    void setStartControls(const Values& values) override { startControls = values; }
    Values startControls;
};

// A slider moved step by step is written once it rests, with its last value, not at each step,
// and the camera starts with it from then on.
TEST(CameraControls, SettingsAreWrittenOnceTheSliderRests) {
    QTemporaryDir dir;
    const QString path = dir.filePath("Cameras.ini");
    FakeControls view;
    controls::CameraControls settings(view, path);
    emit view.cameraFound(QStringLiteral("HD Webcam (usb-1.2)"));
    for (int step = 1; step <= 5; ++step) {
        emit view.controlSet(0x980900, {},
                             {control(0x980900, Kind::Integer, "Brightness", 100 + step)});
        QTest::qWait(50);
    }
    EXPECT_FALSE(QFile::exists(path)) << "written while the slider moves";
    QTest::qWait(controls::CameraControls::RestTime + 300);
    EXPECT_EQ(controls::CameraSettingsStore(path).values("HD Webcam (usb-1.2)").value("brightness"),
              105);
    EXPECT_EQ(view.startControls.value("brightness"), 105);
}

} // namespace
