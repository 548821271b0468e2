// Start-up and shutdown: the settings, the camera view, and every way start-up can fail.
#include "form_fixture.h"
#include "window/load_and_wait.h"

#include <QAccessible>
#include <QCloseEvent>
#include <memory>

namespace {

const QString Shutdown = QStringLiteral("\r\nWebcam Lumivex will now shut down.");
QString failure(const char* error) {
    return QStringLiteral("Other error occourd than the webcam not being found! ") +
           QLatin1String(error) + Shutdown;
}

class LoadTest : public FormTest {};

TEST_F(LoadTest, SizesTheStageOpensTheCameraAndAsksForTheFormat) {
    writeConfig("[MAIN]\r\nWidth=320\r\nHeight=240\r\nFramerate=50\r\n"
                "Source=videotestsrc is-live=true\r\n");
    auto& f = makeForm();
    ASSERT_TRUE(window::loadAndWait(f));
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(f.Stage->size(), QSize(320, 240));
    EXPECT_EQ(f.lngFramerate, 50);
    EXPECT_EQ(f.hCapWnd, camera.view);
    EXPECT_EQ(f.hCapWnd->parentWidget(), f.Stage);
    EXPECT_EQ(camera.calls, QStringList({"create 320x240 [videotestsrc is-live=true]", "connect",
                                         "rate 50", "preview 1", "format dialog"}));
    EXPECT_EQ(f.size(), QSize(657, 665)); // a smaller stage leaves the window as designed
}

TEST_F(LoadTest, AStageLargerThanItsPlaceGrowsTheWindow) {
    writeConfig("[MAIN]\nWidth=800\nHeight=600\nFramerate=33\n");
    auto& f = makeForm();
    ASSERT_TRUE(window::loadAndWait(f));
    EXPECT_EQ(f.Stage->geometry(), QRect(8, 8, 800, 600));
    EXPECT_GE(f.Frame1->y(), f.Stage->geometry().bottom() + 1);
    EXPECT_GE(f.width(), 8 + 800 + 8);
    EXPECT_GE(f.height(), f.Frame1->geometry().bottom() + 1);
}

// At start-up the panel is built after the format dialog; the window the user then sees is the
// one built at once, controls, places, looks and handlers alike.
TEST_F(LoadTest, APanelBuiltAfterTheFormatDialogIsTheSameWindow) {
    writeConfig("[MAIN]\nWidth=800\nHeight=600\nFramerate=33\n");
    window::Form1& atOnce = makeForm();
    ASSERT_TRUE(window::loadAndWait(atOnce));
    const std::unique_ptr<window::Form1> builtAtOnce = std::move(form);

    window::Form1& f = makeForm(window::Form1::Panel::AfterLoad);
    EXPECT_EQ(f.Frame1, nullptr);
    EXPECT_EQ(f.cmdStart, nullptr);
    bool panelDuringDialog = true;
    camera.onFormatDialog = [&] { panelDuringDialog = f.Frame1 != nullptr; };
    ASSERT_TRUE(window::loadAndWait(f));
    EXPECT_FALSE(panelDuringDialog);

    const QList<QWidget*> expected = builtAtOnce->findChildren<QWidget*>();
    ASSERT_EQ(f.findChildren<QWidget*>().size(), expected.size());
    for (const QWidget* want : expected) {
        if (want->objectName().isEmpty()) continue; // the camera view and Qt's own parts
        SCOPED_TRACE(want->objectName().toStdString());
        const auto* got = f.findChild<QWidget*>(want->objectName());
        ASSERT_NE(got, nullptr);
        EXPECT_EQ(got->geometry(), want->geometry());
        EXPECT_EQ(got->isEnabled(), want->isEnabled());
        EXPECT_EQ(got->font(), want->font());
        EXPECT_EQ(got->palette(), want->palette());
        EXPECT_EQ(got->property("text"), want->property("text"));
        EXPECT_EQ(got->property("title"), want->property("title"));
    }
    EXPECT_EQ(f.size(), builtAtOnce->size());
    EXPECT_EQ(QAccessible::queryAccessibleInterface(f.Stage)->text(QAccessible::Name),
              QStringLiteral("Camera view"));
    EXPECT_EQ(f.lblCalc->toolTip(), builtAtOnce->lblCalc->toolTip());

    // The handlers are connected: a change recalculates, Start starts a run.
    f.txtInterval->setText(QStringLiteral("30"));
    EXPECT_EQ(f.lblCalc1->text(), QStringLiteral("2"));
    f.cmdStart->click();
    EXPECT_TRUE(f.isRunning());
    EXPECT_TRUE(f.cmdStop->isEnabled());
}

TEST_F(LoadTest, UnloadDisconnectsTheCameraOnly) {
    auto& f = loadedForm();
    f.cmdStart->click();
    QCloseEvent close;
    QCoreApplication::sendEvent(&f, &close);
    EXPECT_TRUE(close.isAccepted());
    EXPECT_EQ(camera.calls, QStringList({"disconnect"}));
    EXPECT_TRUE(messages.shown.empty()); // a run in progress ends without its count message
}

struct FailureCase {
    const char* what;
    QByteArray config; // empty: no Config.ini at all
    const char* error;
};

class LoadFailureTest : public LoadTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LoadFailureTest, ShowsTheErrorAndEndsWithoutOpeningTheCamera) {
    const FailureCase& c = GetParam();
    if (c.config.isEmpty())
        QFile::remove(programFolder.filePath(QStringLiteral("Config.ini")));
    else
        writeConfig(c.config);
    auto& f = makeForm();
    EXPECT_FALSE(window::loadAndWait(f));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, failure(c.error));
    EXPECT_EQ(messages.shown[0].title, "Error!");
    EXPECT_EQ(messages.shown[0].icon, window::MessageBoxes::Icon::Critical);
    EXPECT_TRUE(camera.calls.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Settings, LoadFailureTest,
    ::testing::Values(
        FailureCase{"no settings file", {}, "Error #13: 'Type mismatch'"},
        FailureCase{"letters after a number", "[MAIN]\nWidth=640px\nHeight=480\nFramerate=33\n",
                    "Error #13: 'Type mismatch'"},
        FailureCase{"width beyond 16 bits", "[MAIN]\nWidth=32768\nHeight=480\nFramerate=33\n",
                    "Error #6: 'Overflow'"},
        FailureCase{"frame rate beyond 16 bits", "[MAIN]\nWidth=640\nHeight=480\nFramerate=1e9\n",
                    "Error #6: 'Overflow'"},
        FailureCase{"empty height", "[MAIN]\nWidth=640\nHeight=\nFramerate=33\n",
                    "Error #13: 'Type mismatch'"},
        FailureCase{"negative width", "[MAIN]\nWidth=-5\nHeight=480\nFramerate=33\n",
                    "Error #380: 'Invalid property value'"},
        FailureCase{"wrong section", "[OTHER]\nWidth=640\nHeight=480\nFramerate=33\n",
                    "Error #13: 'Type mismatch'"}),
    [](const auto& info) {
        QString name = QString::fromLatin1(info.param.what);
        name.replace(QLatin1Char(' '), QLatin1Char('_'));
        return name.toStdString();
    });

TEST_F(LoadTest, AMissingFrameRateFailsAfterTheStageWasSized) {
    writeConfig("[MAIN]\nWidth=320\nHeight=200\n");
    auto& f = makeForm();
    QSize stageWhenShown;
    messages.whileShown = [&] { stageWhenShown = f.Stage->size(); };
    EXPECT_FALSE(window::loadAndWait(f));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, failure("Error #13: 'Type mismatch'"));
    EXPECT_EQ(stageWhenShown, QSize(320, 200));
}

TEST_F(LoadTest, NoCameraSaysWebcamNotFound) {
    camera.deviceFound = false;
    auto& f = makeForm();
    EXPECT_FALSE(window::loadAndWait(f));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].text, "Webcam not found.");
    EXPECT_EQ(messages.shown[0].title, "Error!");
    EXPECT_EQ(messages.shown[0].icon, window::MessageBoxes::Icon::Critical);
    EXPECT_EQ(camera.calls.size(), 1); // created, never connected
}

TEST_F(LoadTest, ACameraThatCannotBeUsedSaysWhichAndWhy) {
    for (bool atConnect : {false, true}) {
        SCOPED_TRACE(atConnect ? "connect" : "create");
        messages.shown.clear();
        camera.calls.clear();
        const QString why = QStringLiteral("Camera \"/dev/video0\" is busy.");
        camera.createError = atConnect ? QString() : why;
        camera.connectError = atConnect ? why : QString();
        auto& f = makeForm();
        EXPECT_FALSE(window::loadAndWait(f));
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].text, why + Shutdown);
        EXPECT_EQ(messages.shown[0].title, "Error!");
        EXPECT_FALSE(camera.calls.contains(QStringLiteral("format dialog")));
    }
}

} // namespace

namespace {

// Whatever Config.ini holds, start-up either works or says why and ends.
TEST_F(LoadTest, HostileSettingsFilesEndInAMessageOrAStart) {
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919) % 256);
    const QByteArray good = "[MAIN]\nWidth=640\nHeight=480\nFramerate=33";
    const struct {
        const char* what;
        QByteArray contents;
        bool starts;
    } cases[] = {
        {"empty", "", false},
        {"binary garbage", garbage, false},
        {"a 10 MB line", QByteArray(10 << 20, 'W') + "\n" + good, true},
        {"a 10 MB value", "[MAIN]\nWidth=" + QByteArray(10 << 20, '6') + "\nHeight=1\nFramerate=1",
         false},
        {"NUL bytes", "[MAIN]\nWidth=6" + QByteArray(1, '\0') + "40\nHeight=480\nFramerate=33\n",
         false},
        {"no newline at the end", good, true},
        {"a section twice",
         "[MAIN]\nWidth=320\n[OTHER]\n[MAIN]\nWidth=640\nHeight=240\nFramerate=1", true},
        {"thousands of digits",
         "[MAIN]\nWidth=" + QByteArray(5000, '1') + "\nHeight=1\nFramerate=1", false},
        {"a huge exponent", "[MAIN]\nWidth=1e999999\nHeight=1\nFramerate=1", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        messages.shown.clear();
        camera.calls.clear();
        writeConfig(c.contents);
        auto& f = makeForm();
        EXPECT_EQ(window::loadAndWait(f), c.starts);
        if (c.starts) {
            EXPECT_TRUE(messages.shown.empty());
        } else {
            ASSERT_EQ(messages.shown.size(), 1u);
            EXPECT_TRUE(messages.shown[0].text.startsWith(
                "Other error occourd than the webcam not being found! Error #"));
            EXPECT_EQ(messages.shown[0].title, "Error!");
        }
    }
}

} // namespace
