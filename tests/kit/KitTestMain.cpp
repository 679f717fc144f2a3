#include <gtest/gtest.h>

#include "TavoriKit/reading/OcrProcess.h"

// Under the leak checker: fontconfig (through Poppler's font substitution) and the x265 encoder (HEIC
// fixtures) keep process-lifetime caches that they never free. Our own allocations are still checked.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\nleak:libx265.so\n";
}

int main(int argc, char** argv) {
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
