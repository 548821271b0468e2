#include "camera_protocol/control_values.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

using camera::CameraControl;
using Kind = CameraControl::Kind;

CameraControl control(std::uint32_t id, Kind kind, const char* name, std::int64_t value,
                      QList<QPair<std::int64_t, QString>> menu = {}) {
    CameraControl c;
    c.id = id;
    c.kind = kind;
    c.name = QString::fromLatin1(name);
    c.key = camera::controlKey(c.name);
    c.value = value;
    c.maximum = 10000;
    c.menu = std::move(menu);
    return c;
}

// A webcam's controls as UVC drivers name them, and vivid's gain pair.
QList<CameraControl> webcam() {
    return {control(1, Kind::Integer, "Brightness", 128),
            control(2, Kind::Menu, "Auto Exposure", 3,
                    {{1, QStringLiteral("Manual Mode")},
                     {3, QStringLiteral("Aperture Priority Mode")}}),
            control(3, Kind::Integer, "Exposure Time, Absolute", 250),
            control(4, Kind::Boolean, "White Balance, Automatic", 1),
            control(5, Kind::Integer, "White Balance Temperature", 4600),
            control(6, Kind::Boolean, "Focus, Automatic Continuous", 0),
            control(7, Kind::Integer, "Focus, Absolute", 30),
            control(8, Kind::Boolean, "Autogain", 1),
            control(9, Kind::Integer, "Gain", 77)};
}

struct Recorder {
    QStringList calls;
    QString refuse; // a key the "driver" refuses
    camera::SetControl setter() {
        return [this](const CameraControl& c, std::int64_t value, QString* error) {
            calls << QStringLiteral("%1=%2").arg(c.key).arg(value);
            if (c.key != refuse) return true;
            *error = QStringLiteral("Device or resource busy");
            return false;
        };
    }
};

TEST(ControlValues, HoldingSwitchesEachAutomaticThatIsOnToManualAtItsSettledValue) {
    Recorder driver;
    const camera::HeldControls held = camera::holdAutomaticControls(webcam(), driver.setter());
    // Each automatic goes off before its partner is set, or the driver would refuse the value.
    EXPECT_EQ(
        driver.calls,
        QStringList({"auto_exposure=1", "exposure_time_absolute=250", "white_balance_automatic=0",
                     "white_balance_temperature=4600", "autogain=0", "gain=77"}));
    EXPECT_EQ(held.restore,
              (QMap<QString, std::int64_t>{
                  {"auto_exposure", 3}, {"white_balance_automatic", 1}, {"autogain", 1}}));
    EXPECT_EQ(held.held.value("gain"), 77);
    EXPECT_FALSE(held.restore.contains("focus_automatic_continuous")); // it was off already
}

TEST(ControlValues, KeptValuesGoAutomaticsFirstAndRefusalsAreNamed) {
    Recorder driver;
    driver.refuse = "brightness";
    const QStringList refused = camera::applyControlValues(
        webcam(), {{"gain", 20}, {"brightness", 300}, {"autogain", 0}, {"no_such_control", 1}},
        driver.setter());
    EXPECT_EQ(driver.calls, QStringList({"autogain=0", "brightness=300", "gain=20"}));
    EXPECT_EQ(refused, QStringList({"Brightness: Device or resource busy"}));
}

TEST(ControlValues, KeysAreTheDriverNamesAsV4l2CtlWritesThem) {
    EXPECT_EQ(camera::controlKey("White Balance, Automatic"), "white_balance_automatic");
    EXPECT_EQ(camera::controlKey("Inject VIDIOC_STREAMON Error"), "inject_vidioc_streamon_error");
    EXPECT_EQ(camera::controlKey("Percentage of Dropped Buffers"), "percentage_of_dropped_buffers");
}

} // namespace
