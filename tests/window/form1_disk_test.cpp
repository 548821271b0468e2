// Disk space: runs never fill the disk, and the plan tells what a run takes.
#include "form_fixture.h"
#include "window/disk_space.h"

namespace {

const std::int64_t Picture640 = 54 + 640 * 3 * 480; // 921,654 bytes

class DiskTest : public FormTest {};

TEST_F(DiskTest, FreeSpaceIsAskedOfTheNearestExistingFolder) {
    const std::int64_t free = window::freeBytesAt(programFolder.filePath("not/there/yet"));
    EXPECT_GT(free, 0);
    EXPECT_LE(std::abs(free - window::freeBytesAt(programFolder.path())), std::int64_t(1) << 30);
}

TEST_F(DiskTest, ARunDoesNotStartWithoutRoomForTenPictures) {
    freeBytes = 10 * Picture640 - 1;
    auto& f = loadedForm();
    f.cmdStart->click();
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith("A run cannot start: the disk is almost full"))
        << messages.shown[0].text.toStdString();
    EXPECT_EQ(messages.shown[0].title, "Error");
    EXPECT_FALSE(f.isRunning());
    EXPECT_TRUE(QDir(picturesPath()).isEmpty());
    EXPECT_EQ(freeSpaceAskedFor, picturesPath());

    freeBytes = 10 * Picture640;
    f.cmdStart->click();
    EXPECT_TRUE(f.isRunning());
}

TEST_F(DiskTest, ARunStopsByItselfBeforeTheDiskFills) {
    auto& f = loadedForm();
    f.txtInterval->setText("1");
    f.cmdStart->click();
    passSeconds(3);
    freeBytes = 9 * Picture640;
    passSeconds(1);
    EXPECT_FALSE(f.isRunning());
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(messages.shown[0].text.startsWith(
        "3 picture(s) taken. The run stopped: the disk is almost full ("))
        << messages.shown[0].text.toStdString();
    EXPECT_EQ(messages.shown[0].title, "Info");
    EXPECT_EQ(runFiles(), QStringList({"Picture 1.bmp", "Picture 2.bmp", "Picture 3.bmp"}));
    EXPECT_EQ(camera.calls.filter("grab").size(), 3);
}

TEST_F(DiskTest, ThePlanTellsWhatARunTakesAndWhatIsFree) {
    freeBytes = std::int64_t(5) << 30;
    auto& f = loadedForm();
    EXPECT_EQ(f.lblCalc->toolTip(), "Each picture at 640 x 480 takes 900.05 KiB; 5.00 GiB free.");
    f.optStop2->click();
    EXPECT_EQ(f.lblCalc->toolTip(),
              "A run of 50 pictures at 640 x 480 takes 43.95 MiB; 5.00 GiB free.");
    f.txtStopAt->setText("1000");
    EXPECT_EQ(f.lblCalc->toolTip(),
              "A run of 1000 pictures at 640 x 480 takes 878.96 MiB; 5.00 GiB free.");
}

} // namespace
