// Active hours in a run, in simulated time: no number used outside them, the log told when they
// end and begin, a hold-up across them counting nothing; and a frozen camera in the log.
#include "form_fixture.h"
#include "runs/run_log.h"

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

} // namespace
