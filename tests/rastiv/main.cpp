// Widgets need an application object for the whole test run.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The tests never need a screen; listing them at build time has none.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vru"));
    QApplication::setApplicationName(QStringLiteral("RastivTests"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
