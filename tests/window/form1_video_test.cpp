// The Make Video button: its place in the free room of the Settings frame, the focus order, the
// Idle and Running looks, one video at a time, and what pressing it and closing the window ask
// of the video maker.
#include "form_fixture.h"
#include "window/load_and_wait.h"

#include <QAccessible>
#include <QCloseEvent>

namespace {

class RecordingVideoMaker : public window::VideoMaker {
public:
    QStringList calls;
    std::function<void()> finished;
    void open(QWidget*, const QString& picturesFolder, std::function<void()> done) override {
        calls << QStringLiteral("open ") + picturesFolder;
        finished = std::move(done);
    }
    void cancel() override { calls << QStringLiteral("cancel"); }
};

class MakeVideoTest : public FormTest {
protected:
    RecordingVideoMaker video;

    window::Form1& formWithVideo() {
        form = std::make_unique<window::Form1>(
            window::Form1Deps{camera, messages, clock, alarm, programFolder.path(), locale,
                              [](const QString&) { return std::int64_t(1) << 40; }, &video});
        EXPECT_TRUE(window::loadAndWait(*form));
        return *form;
    }
};

TEST_F(MakeVideoTest, ButtonSitsInFreeRoomLastInTabOrderAndFollowsTheRun) {
    auto& f = formWithVideo();
    QPushButton* button = f.cmdMakeVideo;
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), QString::fromUtf8("Make Video\u2026"));
    EXPECT_EQ(QAccessible::queryAccessibleInterface(button)->text(QAccessible::Name),
              QString::fromUtf8("Make Video\u2026"));
    EXPECT_EQ(button->parentWidget(), f.Frame4);
    EXPECT_TRUE(f.Frame4->contentsRect().contains(button->geometry()));
    for (QWidget* other : f.Frame4->findChildren<QWidget*>()) {
        if (other == button) continue;
        EXPECT_FALSE(other->geometry().intersects(button->geometry()))
            << other->objectName().toStdString();
    }
    QWidget* next = f.txtStopAt->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, button);

    EXPECT_TRUE(button->isEnabled());
    f.cmdStart->click();
    EXPECT_FALSE(button->isEnabled());
    f.cmdStop->click();
    EXPECT_TRUE(button->isEnabled());

    // While a video is being made the button stays disabled, also when a run ends meanwhile.
    button->click();
    EXPECT_FALSE(button->isEnabled());
    f.cmdStart->click();
    f.cmdStop->click();
    EXPECT_FALSE(button->isEnabled());
    ASSERT_TRUE(video.finished);
    video.finished();
    EXPECT_TRUE(button->isEnabled());

    QCloseEvent close;
    QCoreApplication::sendEvent(&f, &close);
    EXPECT_EQ(video.calls, QStringList({"open " + picturesPath(), "cancel"}));
}

} // namespace
