#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv); // the channel's socket notifiers need the event loop
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
