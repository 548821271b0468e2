#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    // The time stamp is drawn with fonts, which need the application; no window is opened.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
