// What Make Video takes from a run folder.
#include "runs/run_log.h"
#include "support/qt_printers.h"
#include "video/run_list.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// Every run folder holds its log: Make Video leaves it alone without calling it a skipped
// picture; any other file is.
TEST(RunList, TheRunsLogIsNeitherAPictureNorSkipped) {
    QTemporaryDir dir;
    for (const QString& name : {QStringLiteral("Picture 10.bmp"), QStringLiteral("Picture 2.png"),
                                runs::RunLogName, QStringLiteral("notes.txt")})
        ASSERT_TRUE(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
    const video::RunPictures scan = video::scanRun(dir.path());
    EXPECT_EQ(scan.pictures, QStringList({"Picture 2.png", "Picture 10.bmp"}));
    EXPECT_EQ(scan.foreign, QStringList({"notes.txt"}));
}

} // namespace
