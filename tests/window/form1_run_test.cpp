// Capture runs: starting, refusing, ticking, taking pictures and stopping, in simulated time.
#include "form_fixture.h"

#include <QStorageInfo>
#include <QTimer>

namespace {

using namespace std::chrono_literals;
using Icon = window::MessageBoxes::Icon;

class RunTest : public FormTest {
protected:
    window::Form1& start(const char* interval, const char* stopAt = nullptr) {
        auto& f = loadedForm();
        f.txtInterval->setText(QString::fromLatin1(interval));
        if (stopAt) {
            f.optStop2->click();
            f.txtStopAt->setText(QString::fromLatin1(stopAt));
        }
        f.cmdStart->click();
        EXPECT_TRUE(f.isRunning());
        return f;
    }
    // Pictures asked of the camera; each is then saved or counted as not saved.
    QStringList grabs() const { return camera.calls.filter(QStringLiteral("grab")); }
    QString lastMessage() const {
        return messages.shown.empty() ? QString() : messages.shown.back().text;
    }
};

TEST_F(RunTest, IntervalThreeStopAtTwoTakesPicturesAtThreeAndSixSeconds) {
    auto& f = start("3", "2");
    EXPECT_EQ(f.strRunFolder, "06Dec2026-074039");
    passSeconds(2.9);
    EXPECT_TRUE(grabs().isEmpty());
    passSeconds(0.2);
    EXPECT_EQ(grabs().size(), 1);
    EXPECT_EQ(f.lblPicturesTaken->text(), "1");
    passSeconds(2.8);
    EXPECT_EQ(grabs().size(), 1);
    passSeconds(0.3);
    ASSERT_EQ(grabs().size(), 2);
    EXPECT_FALSE(f.isRunning());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "2 picture(s) taken.");
    EXPECT_EQ(messages.shown[0].title, "Info");
    EXPECT_EQ(messages.shown[0].icon, Icon::Information);
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp", "Picture 2.bmp"}));
    // The count stays on screen until the next run; the field is back to 0.
    EXPECT_EQ(f.lblPicturesTaken->text(), "2");
    EXPECT_EQ(f.lngTaken, 0);
    EXPECT_EQ(f.lngTicks, 0);
    passSeconds(10);
    EXPECT_EQ(grabs().size(), 2);
}

TEST_F(RunTest, TheCountMessageShowsWhileTheWindowStillLooksRunning) {
    auto& f = start("1", "1");
    bool lookedRunning = false, timerOff = false;
    messages.whileShown = [&] {
        lookedRunning = f.lblStatus->text() == "On" && f.cmdStop->isEnabled();
        timerOff = !f.Timer->isEnabled() && !alarm.deadline.has_value();
    };
    passSeconds(1);
    EXPECT_TRUE(lookedRunning);
    EXPECT_TRUE(timerOff); // no tick can come while the box is open
    EXPECT_EQ(f.lblStatus->text(), "Off");
}

TEST_F(RunTest, StopCountOneEndsWithTheFirstPictureTimedOrOnDemand) {
    for (bool onDemand : {false, true}) {
        SCOPED_TRACE(onDemand ? "on demand" : "timed");
        messages.shown.clear();
        clock.local = clock.local.addSecs(60);
        auto& f = start("5", "1");
        if (onDemand)
            f.cmdTakePic->click();
        else
            passSeconds(5);
        EXPECT_FALSE(f.isRunning());
        EXPECT_EQ(lastMessage(), "1 picture(s) taken.");
        EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp"}));
    }
}

TEST_F(RunTest, PicturesOnDemandShareTheNumberingAndDoNotMoveTheSchedule) {
    auto& f = start("2", "3");
    passSeconds(4.5); // timed pictures at 2 s and 4 s
    f.cmdTakePic->click();
    EXPECT_FALSE(f.isRunning()); // the third, on demand, reaches the stop count
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp", "Picture 2.bmp", "Picture 3.bmp"}));
    EXPECT_EQ(lastMessage(), "3 picture(s) taken.");
}

TEST_F(RunTest, OnDemandPictureBetweenTicksKeepsTimedPicturesOnTheirSeconds) {
    auto& f = start("3");
    passSeconds(1.5);
    f.cmdTakePic->click();
    passSeconds(1.6); // 3.1 s: the timed picture came at 3 s regardless
    EXPECT_EQ(grabs().size(), 2);
    EXPECT_EQ(f.lngTicks, 0);
}

TEST_F(RunTest, StopCountsThatNeverMatchRunUntilStopped) {
    for (const char* stopAt : {"0", "-3"}) {
        SCOPED_TRACE(stopAt);
        messages.shown.clear();
        clock.local = clock.local.addSecs(60);
        auto& f = start("1", stopAt);
        EXPECT_EQ(f.lngStopAt, QByteArray(stopAt).toInt());
        passSeconds(5);
        EXPECT_TRUE(f.isRunning());
        f.cmdStop->click();
        EXPECT_EQ(lastMessage(), "5 picture(s) taken.");
    }
}

TEST_F(RunTest, WhenISaySoIgnoresTheStopCount) {
    auto& f = loadedForm();
    f.txtStopAt->setText(QStringLiteral("2"));
    f.cmdStart->click();
    EXPECT_EQ(f.lngStopAt, -1);
    passSeconds(30);
    EXPECT_TRUE(f.isRunning());
    EXPECT_EQ(grabs().size(), 3);
}

TEST_F(RunTest, ZeroOrNegativeIntervalsTakeOnlyPicturesOnDemand) {
    for (const char* interval : {"0", "-4"}) {
        SCOPED_TRACE(interval);
        camera.calls.clear();
        clock.local = clock.local.addSecs(60);
        auto& f = start(interval);
        passSeconds(20);
        EXPECT_TRUE(grabs().isEmpty());
        f.cmdTakePic->click();
        f.cmdTakePic->click();
        EXPECT_EQ(f.lblPicturesTaken->text(), "2");
        f.cmdStop->click();
        EXPECT_EQ(lastMessage(), "2 picture(s) taken.");
    }
}

TEST_F(RunTest, AStopRightAfterTheStartLeavesAFolderWithItsLogAlone) {
    auto& f = start("10");
    const QString folder = f.strRunFolder;
    f.cmdStop->click();
    EXPECT_EQ(lastMessage(), "0 picture(s) taken.");
    EXPECT_EQ(QDir(picturesPath() + "/" + folder).entryList(QDir::Files),
              QStringList{"Run log.csv"});
}

TEST_F(RunTest, ANewRunResetsTheCountAndNeverReusesAFolder) {
    auto& f = start("1");
    passSeconds(2);
    f.cmdStop->click();
    const QString first = f.strRunFolder;
    f.cmdStart->click(); // same second on the clock
    EXPECT_EQ(f.lblPicturesTaken->text(), "0");
    EXPECT_EQ(f.strRunFolder, first + "-2");
    passSeconds(1);
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp"}));
}

// Refused starts: a message, and not one control or field changed.
struct Refusal {
    const char* what;
    const char* interval;
    const char* stopAt;
    bool afterPictures;
    const char* message;
};

class RefusalTest : public RunTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusalTest, LeavesEverythingAsItWas) {
    const Refusal& r = GetParam();
    auto& f = loadedForm();
    f.txtInterval->setText(QString::fromLatin1(r.interval));
    f.txtStopAt->setText(QString::fromLatin1(r.stopAt));
    if (r.afterPictures) f.optStop2->click();
    f.cmdStart->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, QString::fromLatin1(r.message));
    EXPECT_EQ(messages.shown[0].title, "Error");
    EXPECT_EQ(messages.shown[0].icon, Icon::Critical);
    EXPECT_FALSE(f.isRunning());
    EXPECT_FALSE(alarm.deadline.has_value());
    EXPECT_TRUE(f.cmdStart->isEnabled());
    EXPECT_TRUE(f.txtInterval->isEnabled());
    EXPECT_FALSE(f.cmdStop->isEnabled());
    EXPECT_EQ(f.lblStatus->text(), "Off");
    EXPECT_EQ(f.lngInterval, 0);
    EXPECT_EQ(f.lngStopAt, 0);
    EXPECT_TRUE(f.strRunFolder.isEmpty());
    EXPECT_TRUE(QDir(picturesPath()).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, RefusalTest,
    ::testing::Values(
        Refusal{"interval_words", "ten", "50", false,
                "The interval can only exist out of numbers."},
        Refusal{"both_wrong", "", "x", true, "The interval can only exist out of numbers."},
        Refusal{"stop_count_letters_when_I_say_so", "10", "abc", false,
                "The number of frames to stop at can only exist out of numbers."},
        Refusal{"interval_too_large", "3000000000", "50", false,
                "The interval is too large: it must lie between -2147483648 and 2147483647."},
        Refusal{"stop_count_too_large", "10", "1e12", true,
                "The number of frames to stop at is too large: it must lie between -2147483648 "
                "and 2147483647."}),
    [](const auto& info) { return std::string(info.param.what); });

// Closed mid-run, the window goes at once: the picture still on its way from the camera is
// waited for out of sight, and saved.
TEST_F(RunTest, AWindowClosedMidRunGoesAtOnceAndItsLastPictureIsStillSaved) {
    auto& f = start("10");
    f.show();
    camera.holdGrabs = true;
    f.cmdTakePic->click();
    ASSERT_EQ(camera.heldGrabs.size(), 1);
    bool shownWhileWaiting = true;
    QTimer::singleShot(100, [&] {
        shownWhileWaiting = f.isVisible();
        camera.answer(camera.heldGrabs.takeFirst());
    });
    f.close();
    EXPECT_FALSE(shownWhileWaiting);
    EXPECT_TRUE(runFiles().contains(QStringLiteral("Picture 1.bmp")))
        << runFiles().join(' ').toStdString();
}

TEST_F(RunTest, AHugeStopCountIsNoObstacleWhenNotUsed) {
    auto& f = loadedForm();
    f.txtStopAt->setText(QStringLiteral("1e12"));
    f.cmdStart->click();
    EXPECT_TRUE(f.isRunning());
    EXPECT_EQ(f.lngStopAt, -1);
}

TEST_F(RunTest, AMissingPicturesFolderIsCreated) {
    QDir(picturesPath()).removeRecursively();
    auto& f = start("1");
    EXPECT_TRUE(QDir(picturesPath() + "/" + f.strRunFolder).exists());
}

TEST_F(RunTest, AFolderThatCannotBeCreatedRefusesTheStart) {
    QDir(picturesPath()).removeRecursively();
    QFile blocker(picturesPath()); // a file where the pictures folder should be
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    auto& f = loadedForm();
    f.cmdStart->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(
        "The folder for this run's pictures could not be created."));
    EXPECT_EQ(messages.shown[0].title, "Error");
    EXPECT_FALSE(f.isRunning());
    EXPECT_FALSE(alarm.deadline.has_value());
    EXPECT_TRUE(f.txtInterval->isEnabled());
}

TEST_F(RunTest, FailedPicturesAreCountedShownAndReported) {
    auto& f = start("1", "4");
    passSeconds(1);
    setDiskError(QStringLiteral("No space left on device"));
    passSeconds(2);
    EXPECT_TRUE(f.isRunning()); // no modal box during the run
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(f.lblPicturesTaken->text(), "3"); // the numbering advances all the same
    EXPECT_EQ(f.lblPicturesTaken->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(f.lblPicturesTaken->toolTip().contains("No space left on device"));
    setDiskError(QString());
    passSeconds(1);
    EXPECT_FALSE(f.isRunning());
    EXPECT_EQ(lastMessage(), "4 picture(s) taken. 2 could not be saved.\r\n"
                             "Last reason: Picture 3: No space left on device");
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp", "Picture 4.bmp"}));
    // The next run starts clean.
    f.cmdStart->click();
    EXPECT_NE(f.lblPicturesTaken->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(f.lblPicturesTaken->toolTip().isEmpty());
}

TEST_F(RunTest, AFailedGrabIsAFailedPicture) {
    auto& f = start("1", "2");
    camera.grabError = QStringLiteral("The camera was lost.");
    passSeconds(2);
    EXPECT_FALSE(f.isRunning());
    EXPECT_EQ(lastMessage(), "2 picture(s) taken. 2 could not be saved.\r\n"
                             "Last reason: Picture 2: The camera was lost.");
    EXPECT_TRUE(runFiles().isEmpty());
}

TEST_F(RunTest, ADayAtIntervalOneKeepsEveryPictureOnTime) {
    writeFiles = false;
    auto& f = start("1");
    const window::Nanoseconds started = clock.now;
    std::int64_t worst = 0;
    std::int64_t pictures = 0;
    camera.onGrab = [&] {
        ++pictures;
        const auto due = started + std::chrono::seconds(pictures);
        worst = std::max<std::int64_t>(worst, std::chrono::abs(clock.now - due).count());
    };
    // Each wake-up comes 0 to 15 ms late and the picture itself takes time; neither adds up.
    std::uint32_t seed = 12345;
    alarm.run(clock, started + std::chrono::hours(24) + 500ms, [&] {
        seed = seed * 1664525u + 1013904223u;
        return window::Nanoseconds(std::chrono::microseconds(seed % 15000));
    });
    EXPECT_EQ(pictures, 86400);
    EXPECT_LT(worst, std::chrono::nanoseconds(50ms).count());
    EXPECT_EQ(f.lblPicturesTaken->text(), "86400");
}

} // namespace
