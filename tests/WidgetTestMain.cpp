#include <stdlib.h>

#include <QApplication>

#include <gtest/gtest.h>

#include "TavoriKit/reading/OcrProcess.h"

// The widget tests' main: GoogleTest inside a QApplication, on the offscreen platform unless a display is
// asked for, and without a local model the machine may be set up with. QTest serves only as a helper library
// (clicks, keys, waits).
int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::unsetenv("TAVORI_LLM_URL");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
