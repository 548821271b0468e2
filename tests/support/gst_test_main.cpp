#include "camera/gst_setup.h"

#include <QApplication>
#include <cstdio>
#include <gtest/gtest.h>

// GLib never frees its first block of quark names (16 KiB, allocated while the library loads)
// once it outgrows it; with many GStreamer plugins installed, reading the registry does that.
// Nothing of ours is allocated while a shared library loads, so such leaks are not ours.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n";
}

// Tests of the real camera view need a GUI application (widgets, queued calls, the format
// dialog) and GStreamer; they run on Qt's offscreen platform.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) runs without the test environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QString error;
    if (!camera::initGStreamer(&argc, &argv, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return RUN_ALL_TESTS();
}
