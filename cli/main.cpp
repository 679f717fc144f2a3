#include <iostream>

#include "TavoriKit/reading/OcrProcess.h"
#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    // Before anything loads Tesseract's OpenMP runtime.
    tavori::OcrProcess::ensureSingleThreaded(argc, argv);
    return tavori::CommandLine::run(argc, argv, std::cout, std::cerr);
}
