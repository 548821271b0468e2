#include "gst/gst_setup.h"

#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

// Tests of the real camera view need a GUI application (widgets, queued calls, the format
// dialog) and GStreamer; they run on Qt's offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) runs without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString error;
    if (!gst::initGStreamer(&argc, &argv, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return RUN_ALL_TESTS();
}
