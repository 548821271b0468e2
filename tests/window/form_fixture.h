#pragma once

#include "fakes.h"
#include "pictures/bmp_writer.h"
#include "window/form1.h"
#include "window/load_and_wait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>
#include <mutex>

// A window in a temporary program folder, with every outside dependency faked.
class FormTest : public ::testing::Test {
protected:
    QTemporaryDir programFolder;
    FakeCamera camera;
    FakeMessages messages;
    FakeClock clock;
    FakeAlarm alarm;
    QLocale locale{QLocale::English, QLocale::UnitedStates};
    // The disk the pictures are written to, from the saving thread: set diskError and writes
    // fail with it; whileWriting runs inside each write (a slow disk); writeFiles false writes
    // nothing and succeeds.
    std::mutex diskMutex;
    QString diskError;
    std::function<void()> whileWriting;
    bool writeFiles = true;

    // After the disk: a window being destroyed still saves what it queued.
    std::unique_ptr<window::Form1> form;
    std::int64_t freeBytes = std::int64_t(1) << 40;
    runs::RunWatcher* runWatcher = nullptr; // given to the window when set before makeForm()
    QString freeSpaceAskedFor;

    void setDiskError(const QString& error) {
        std::lock_guard lock(diskMutex);
        diskError = error;
    }

    void SetUp() override {
        ASSERT_TRUE(programFolder.isValid());
        writeConfig("[MAIN]\r\nWidth=640\r\nHeight=480\r\nFramerate=33\r\n");
        QDir(programFolder.path()).mkdir(QStringLiteral("pictures"));
    }

    void writeConfig(const QByteArray& contents) {
        QFile file(programFolder.filePath(QStringLiteral("Config.ini")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(contents);
    }

    window::Form1& makeForm(window::Form1::Panel panel = window::Form1::Panel::AtOnce) {
        window::Form1Deps deps{camera,
                               messages,
                               clock,
                               alarm,
                               programFolder.path(),
                               locale,
                               [this](const QString& path) {
                                   freeSpaceAskedFor = path;
                                   return freeBytes;
                               }};
        deps.writeFile = [this](const QByteArray& bytes, const QString& path, QString* error) {
            if (whileWriting) whileWriting();
            std::lock_guard lock(diskMutex);
            if (!diskError.isEmpty()) {
                *error = diskError;
                return false;
            }
            return !writeFiles || camera::saveFileAtomically(bytes, path, error);
        };
        deps.runWatcher = runWatcher;
        form = std::make_unique<window::Form1>(std::move(deps), panel);
        // A simulated second is long enough for a picture's save: after each tick (connected
        // after the window's own handler) the pictures are saved before time goes on.
        QObject::connect(&alarm, &window::Alarm::rang, form.get(),
                         [this] { form->waitForSaves(); });
        return *form;
    }

    // A window that has started up, as the user first sees it.
    window::Form1& loadedForm() {
        makeForm();
        EXPECT_TRUE(window::loadAndWait(*form));
        messages.shown.clear();
        camera.calls.clear();
        return *form;
    }

    // Lets simulated seconds pass, with the alarm waking `latenessMs` late each time.
    void passSeconds(double seconds, int latenessMs = 0) {
        alarm.run(clock,
                  clock.now + std::chrono::duration_cast<window::Nanoseconds>(
                                  std::chrono::duration<double>(seconds)),
                  [=] { return window::Nanoseconds(std::chrono::milliseconds(latenessMs)); });
    }

    QString picturesPath() const { return programFolder.filePath(QStringLiteral("pictures")); }
    // The run's pictures (beside them is its log).
    QStringList runFiles() const {
        return QDir(picturesPath() + QLatin1Char('/') + form->strRunFolder)
            .entryList({QStringLiteral("Picture *")}, QDir::Files, QDir::Name);
    }
    QByteArray runLog() const {
        QFile file(picturesPath() + QLatin1Char('/') + form->strRunFolder +
                   QStringLiteral("/Run log.csv"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};
