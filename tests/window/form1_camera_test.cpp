// The Camera… button: its place in the free room of the Settings frame, after Make Video… in
// the focus order, enabled only when the camera has settings (else its tooltip says why), and
// the run's start and end told to the camera's settings, the end before the count's message.
#include "form_fixture.h"
#include "window/load_and_wait.h"

namespace {

class RecordingSettings : public window::CameraSettings {
public:
    bool has = false;
    QStringList calls;
    std::function<void()> onRunEnded;
    bool available(QString* why) const override {
        if (!has) *why = QStringLiteral("The Source in Config.ini has no controls.");
        return has;
    }
    void showDialog(QWidget*) override { calls << QStringLiteral("dialog"); }
    void runStarted() override { calls << QStringLiteral("start"); }
    void runEnded() override { calls << QStringLiteral("end"); }
};

TEST_F(FormTest, CameraButtonSitsInFreeRoomAfterMakeVideoAndTellsTheRun) {
    RecordingSettings settings;
    for (const bool has : {false, true}) {
        settings.has = has;
        form = std::make_unique<window::Form1>(window::Form1Deps{
            camera, messages, clock, alarm, programFolder.path(), locale,
            [](const QString&) { return std::int64_t(1) << 40; }, nullptr, &settings});
        ASSERT_TRUE(window::loadAndWait(*form));
        QPushButton* button = form->cmdCamera;
        EXPECT_EQ(button->isEnabled(), has);
        EXPECT_EQ(button->toolTip().isEmpty(), has) << button->toolTip().toStdString();
    }
    auto& f = *form;
    QPushButton* button = f.cmdCamera;
    EXPECT_EQ(button->text(), QString::fromUtf8("Camera\u2026"));
    EXPECT_EQ(button->parentWidget(), f.Frame4);
    EXPECT_TRUE(f.Frame4->contentsRect().contains(button->geometry()));
    for (QWidget* other : f.Frame4->findChildren<QWidget*>()) {
        if (other == button || other->parentWidget() != f.Frame4) continue;
        EXPECT_FALSE(other->geometry().intersects(button->geometry()))
            << other->objectName().toStdString();
    }
    QWidget* next = f.cmdMakeVideo->nextInFocusChain();
    while (next->focusPolicy() == Qt::NoFocus)
        next = next->nextInFocusChain();
    EXPECT_EQ(next, button);

    button->click();
    f.cmdStart->click();
    messages.whileShown = [&] { settings.calls << QStringLiteral("message"); };
    f.cmdStop->click();
    EXPECT_EQ(settings.calls, QStringList({"dialog", "start", "end", "message"}));
}

} // namespace
