// What someone looking in from elsewhere is told: every row the run's log gets, the state after
// each picture and change, and less than a day's pictures left on the disk, once.
#include "form_fixture.h"
#include "runs/run_watcher.h"
#include "window/look_in_dialog.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>

namespace {

constexpr std::int64_t Picture640 = 54 + 640 * 480 * 3;

struct Watcher : runs::RunWatcher {
    QList<runs::RunState> states;
    QStringList events;
    void runChanged(const runs::RunState& state, const QList<runs::LogRow>& rows) override {
        states.append(state);
        for (const runs::LogRow& row : rows)
            events << row.event;
    }
};

class WatchTest : public FormTest {};

TEST_F(WatchTest, TheWatcherHearsEveryRowAndTheStateAndADaysPicturesLeftOnce) {
    Watcher watcher;
    runWatcher = &watcher;
    auto& f = loadedForm();
    f.txtInterval->setText("1");
    f.cmdStart->click();
    passSeconds(3.5);
    EXPECT_EQ(watcher.events, QStringList({"started", "saved", "saved", "saved"}));
    ASSERT_FALSE(watcher.states.isEmpty());
    const runs::RunState& state = watcher.states.back();
    EXPECT_TRUE(state.running);
    EXPECT_EQ(state.taken, 3);
    EXPECT_EQ(state.runFolder, picturesPath() + QLatin1Char('/') + f.strRunFolder);
    EXPECT_EQ(state.latestPicture, state.runFolder + QStringLiteral("/Picture 3.bmp"));
    EXPECT_EQ(state.latestNumber, 3);

    // Room for 1000 more pictures at one a second: less than a day's.
    freeBytes = 1000 * Picture640;
    passSeconds(3);
    EXPECT_EQ(watcher.events.count("disk almost full"), 1);

    f.cmdStop->click(); // the log is closed: all of it is on the disk
    EXPECT_EQ(runLog().count(",disk almost full,,\"room for about 1000 more pictures, less than a "
                             "day's (86400)\""),
              1);
    EXPECT_FALSE(watcher.states.back().running);
    EXPECT_EQ(watcher.events.back(), "stopped");
}

TEST_F(WatchTest, AStoppedRunSaysWhenAndWhyUntilTheNextOneStarts) {
    Watcher watcher;
    runWatcher = &watcher;
    auto& f = loadedForm();
    // When and why, as text: readable when they differ.
    const auto last = [&] {
        const runs::RunState& state = watcher.states.back();
        return state.stoppedAt.toString(Qt::ISODate) + " " + state.stopReason;
    };
    const auto at = [&](const char* reason) {
        return clock.local.toString(Qt::ISODate) + " " + reason;
    };
    f.txtInterval->setText("1");
    f.optStop2->click();
    f.txtStopAt->setText("2");
    f.cmdStart->click();
    clock.local = clock.local.addSecs(2);
    passSeconds(2.5);
    ASSERT_FALSE(f.isRunning());
    emit camera.cameraLost(QStringLiteral("unplugged")); // the state told again
    EXPECT_EQ(last(), at("after 2 pictures"));
    EXPECT_EQ(watcher.states.back().taken, 2); // the run's own count, not the next one's 0

    f.optStop1->click();
    f.cmdStart->click();
    EXPECT_EQ(last(), " ");
    clock.local = clock.local.addSecs(60);
    f.cmdStop->click();
    EXPECT_EQ(last(), at("by the user"));

    f.cmdStart->click();
    f.endBySignal(QStringLiteral("SIGTERM"));
    EXPECT_EQ(last(), at("the program was ended (SIGTERM)"));
}

TEST_F(WatchTest, WithoutAWatcherTheLogIsAsBeforeAndLookInStaysHidden) {
    auto& f = loadedForm();
    EXPECT_TRUE(f.cmdLookIn->isHidden());
    f.txtInterval->setText("1");
    f.cmdStart->click();
    freeBytes = 1000 * Picture640;
    passSeconds(3.5);
    f.cmdStop->click();
    EXPECT_TRUE(runLog().contains(",stopped,"));
    EXPECT_FALSE(runLog().contains("disk almost full"));
}

TEST(LookInDialog, ShowsTheLinkAndItsCodeAndANewKeyReplacesBoth) {
    int key = 1;
    const window::LookIn lookIn{
        [&] { return QStringLiteral("http://192.168.1.20:8080/?key=k%1").arg(key); },
        [&](QString*) {
            ++key;
            return true;
        }};
    window::LookInDialog dialog(lookIn);
    EXPECT_EQ(dialog.txtLink->text(), "http://192.168.1.20:8080/?key=k1");
    const QImage first = dialog.picCode->pixmap().toImage();
    EXPECT_FALSE(first.isNull());
    EXPECT_EQ(first.width(), first.height());
    dialog.cmdNewKey->click();
    EXPECT_EQ(dialog.txtLink->text(), "http://192.168.1.20:8080/?key=k2");
    EXPECT_NE(dialog.picCode->pixmap().toImage(), first);
    EXPECT_FALSE(dialog.picCode->accessibleName().isEmpty());
}

TEST(LookInDialog, ALinkOnlyThisComputerOpensSaysSoAndCopyPutsTheLinkOnTheClipboard) {
    const std::pair<QString, bool> links[] = {{"http://127.0.0.1:8080/?key=k", true},
                                              {"https://[::1]:8080/?key=k", true},
                                              {"http://localhost:80/?key=k", true},
                                              {"http://192.168.1.20:8080/?key=k", false},
                                              {"http://[fd00::20]:8080/?key=k", false}};
    for (const auto& [link, onlyHere] : links) {
        const window::LookIn lookIn{[&] { return link; }, {}};
        window::LookInDialog dialog(lookIn);
        EXPECT_EQ(dialog.lblOnlyHere->isVisibleTo(&dialog), onlyHere) << link.toStdString();
        QGuiApplication::clipboard()->clear();
        dialog.cmdCopy->click();
        EXPECT_EQ(QGuiApplication::clipboard()->text(), link);
    }
}

} // namespace
