#pragma once

// Tesseract's OpenMP runtime reads OMP_THREAD_LIMIT once, when it is loaded, and without a limit of 1 every
// recognition is about four times slower on a busy machine. Every executable that recognises text calls this
// first thing in main(): when the variable is missing it sets it to 1 and re-executes the program once with
// the same arguments. When re-executing fails the program carries on, only slower.
namespace tavori::OcrProcess {

void ensureSingleThreaded(int argc, char** argv);

}  // namespace tavori::OcrProcess
