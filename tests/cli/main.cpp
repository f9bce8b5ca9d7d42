#include <QCoreApplication>
#include <gtest/gtest.h>

// A core application, as the tool has for everything but drawing text.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
