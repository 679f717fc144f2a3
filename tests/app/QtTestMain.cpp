#include <stdlib.h>

#include <QApplication>

#include <gtest/gtest.h>

// Widget tests run without a display unless one is asked for.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
