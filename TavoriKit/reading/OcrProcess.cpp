#include "TavoriKit/reading/OcrProcess.h"

#include <unistd.h>

#include <cstdlib>

namespace tavori::OcrProcess {

void ensureSingleThreaded(int argc, char** argv) {
    if (std::getenv("OMP_THREAD_LIMIT") != nullptr || argc < 1 || argv == nullptr || argv[0] == nullptr)
        return;
    if (setenv("OMP_THREAD_LIMIT", "1", 1) != 0) return;
    // argv is null-terminated by the C runtime; /proc/self/exe finds the program whatever argv[0] says.
    execv("/proc/self/exe", argv);
}

}  // namespace tavori::OcrProcess
