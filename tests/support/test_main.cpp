// Test entry point: a QApplication on the offscreen platform (unless a display is asked for),
// so that widget, timer and socket-notifier tests all run on one event loop.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName("Brevicor");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
