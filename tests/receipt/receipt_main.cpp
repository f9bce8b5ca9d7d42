#include <QGuiApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Fonts for the receipt's text, drawn offscreen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
