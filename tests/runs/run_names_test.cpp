// Naming and creating run folders, and reading run and picture names back.
#include "runs/run_names.h"
#include "support/qt_printers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

const QDateTime Moment(QDate(2026, 12, 6), QTime(7, 40, 39));

TEST(RunNamesTest, NamesFollowTheDateTimeAndTheLocaleMonth) {
    EXPECT_EQ(runs::runFolderName(Moment, QLocale(QLocale::English)), "06Dec2026-074039");
    EXPECT_EQ(runs::runFolderName(QDateTime(QDate(987, 1, 2), QTime(0, 0, 5)), QLocale::c()),
              "02Jan0987-000005");
    const QString german = runs::runFolderName(QDateTime(QDate(2026, 3, 9), QTime(23, 5, 0)),
                                               QLocale(QLocale::German, QLocale::Germany));
    EXPECT_TRUE(german.startsWith("09M")) << german.toStdString();
    EXPECT_TRUE(german.endsWith("2026-230500")) << german.toStdString();
    // No locale's month name may put a path separator into the name.
    for (const QLocale& locale :
         QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory))
        for (int month = 1; month <= 12; ++month) {
            const QString name =
                runs::runFolderName(QDateTime(QDate(2026, month, 1), QTime(1, 2, 3)), locale);
            ASSERT_FALSE(name.contains('/') || name.contains('\\')) << name.toStdString();
        }
}

TEST(RunNamesTest, CreatesTheFolderAndItsMissingParents) {
    QTemporaryDir dir;
    const QString pictures = dir.filePath("deep/pictures");
    QString error;
    EXPECT_EQ(runs::createRunFolder(pictures, "06Dec2026-074039", &error), "06Dec2026-074039");
    EXPECT_TRUE(QDir(pictures + "/06Dec2026-074039").exists());
}

TEST(RunNamesTest, AnExistingFolderGetsASuffixedSibling) {
    QTemporaryDir dir;
    QString error;
    EXPECT_EQ(runs::createRunFolder(dir.path(), "run", &error), "run");
    EXPECT_EQ(runs::createRunFolder(dir.path(), "run", &error), "run-2");
    QFile(dir.filePath("run-3")).open(QIODevice::WriteOnly); // even a file blocks the name
    EXPECT_EQ(runs::createRunFolder(dir.path(), "run", &error), "run-4");
}

TEST(RunNamesTest, FailuresSayWhy) {
    QTemporaryDir dir;
    QFile(dir.filePath("pictures")).open(QIODevice::WriteOnly);
    QString error;
    EXPECT_TRUE(runs::createRunFolder(dir.filePath("pictures"), "run", &error).isEmpty());
    EXPECT_TRUE(error.contains("pictures")) << error.toStdString();
    error.clear();
    EXPECT_TRUE(runs::createRunFolder(dir.path(), "a/b", &error).isEmpty());
    EXPECT_TRUE(error.contains("No such file or directory")) << error.toStdString();
}

} // namespace
