// Active hours in a run, in simulated time: no number used outside them, the log told when they
// end and begin, a hold-up across them counting nothing; and a frozen camera in the log.
#include "form_fixture.h"
#include "runs/run_log.h"

#include <QApplication>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QRadioButton>

namespace {

using namespace std::chrono_literals;

class HoursTest : public FormTest {
protected:
    // The wall clock moves with the simulated monotonic one.
    void followClock(const QDateTime& start) {
        clock.local = start;
        const window::Nanoseconds origin = clock.now;
        QObject::connect(&alarm, &window::Alarm::rang, [this, start, origin] {
            clock.local = start.addMSecs((clock.now - origin) / 1ms);
        });
    }
    QByteArray config() const {
        QFile file(programFolder.filePath(QStringLiteral("Config.ini")));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QStringList events() const {
        QString error;
        const auto log = runs::readRunLog(picturesPath() + QLatin1Char('/') + form->strRunFolder +
                                              QStringLiteral("/Run log.csv"),
                                          &error);
        QStringList rows;
        if (log)
            for (const runs::LogRow& row : log->rows)
                rows << (row.picture > 0 ? QStringLiteral("%1 %2").arg(row.event).arg(row.picture)
                                         : row.event);
        return rows;
    }
};

TEST_F(HoursTest, PicturesOnlyInTheHoursAndNothingCountedOutsideThem) {
    writeConfig("[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\nActiveHours=Clock\r\n"
                "ActiveFrom=22:00\r\nActiveTo=06:00\r\n");
    writeFiles = false;
    followClock(QDateTime(QDate(2026, 12, 7), QTime(5, 57, 0)));
    auto& f = loadedForm();
    f.txtInterval->setText(QStringLiteral("60"));
    EXPECT_EQ(f.lblCalc3->text(), QStringLiteral("480")); // a picture a minute, eight hours
    f.cmdStart->click();
    passSeconds(5 * 60); // 05:58 and 05:59 are taken; 06:00, 06:01 and 06:02 are not due
    EXPECT_EQ(f.lngTaken, 2);
    EXPECT_EQ(f.lblRunInfo->text(),
              QStringLiteral("Started 05:57:00, last picture 05:59:00\nNext picture at 22:00"));

    // The program held up from 06:02 until 21:58:30: none of the pictures it missed was due.
    bool first = true;
    alarm.run(clock, clock.now + 15h + 56min + 30s + 3min, [&] {
        return std::exchange(first, false) ? window::Nanoseconds(15h + 56min + 30s)
                                           : window::Nanoseconds(0);
    });
    EXPECT_EQ(f.lngTaken, 4); // 22:00 and 22:01
    EXPECT_EQ(f.lngNotSaved, 0);
    f.cmdStop->click();
    EXPECT_EQ(events(), QStringList({"started", "note", "saved 1", "saved 2", "paused", "active",
                                     "saved 3", "saved 4", "stopped"}));
}

TEST_F(HoursTest, AFrozenCameraIsLoggedAsSuchAndAStillSceneOnce) {
    auto& f = loadedForm();
    f.cmdStart->click();
    emit camera.cameraFrozen(QStringLiteral("the camera sends the same picture for 30 s"));
    emit camera.cameraLost(QStringLiteral("the camera sends the same picture for 30 s"));
    emit camera.cameraBack();
    emit camera.sceneStill();
    emit camera.sceneStill();
    emit camera.cameraLost(QStringLiteral("unplugged"));
    f.cmdStop->click();
    EXPECT_EQ(events(),
              QStringList({"started", "frozen", "camera back", "note", "camera lost", "stopped"}));
}

// Hours... sets daylight at a place: the dialog shows the place's hours, Config.ini keeps them,
// and the plan figures count only them.
TEST_F(HoursTest, TheHoursDialogKeepsDaylightAtAPlace) {
    auto& f = loadedForm();
    f.cmdHours->click();
    auto* dialog = f.findChild<QDialog*>(QStringLiteral("HoursDialog"));
    ASSERT_NE(dialog, nullptr);
    for (auto* choice : dialog->findChildren<QRadioButton*>())
        if (choice->text() == QStringLiteral("Only in daylight")) choice->click();
    for (auto* box : dialog->findChildren<QDoubleSpinBox*>())
        box->setValue(box->accessibleName() == QStringLiteral("Latitude") ? 69.6492 : 18.9553);
    // Tromso in December: the sun does not rise.
    EXPECT_TRUE(dialog->findChild<QLabel*>(QStringLiteral("hoursPreview"))
                    ->text()
                    .startsWith(QStringLiteral("Today: none (the sun does not rise)")));
    dialog->accept();
    EXPECT_TRUE(config().contains("ActiveHours=Daylight\r\n"));
    EXPECT_TRUE(config().contains("Latitude=69.6492\r\n"));
    EXPECT_EQ(f.lblCalc3->text(), QStringLiteral("0"));
    EXPECT_EQ(f.lblDiskFull->text(), QStringLiteral("Disk full in: never (no timed pictures)"));
}

} // namespace
