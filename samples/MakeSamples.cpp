#include <filesystem>
#include <iostream>

#include "samples/SamplePdf.h"

// Writes the sample documents into the folder given as the only argument.
int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: tavori-make-samples FOLDER\n";
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    try {
        std::filesystem::create_directories(folder);
        for (const auto& document : tavori::SamplePdf::samples()) {
            tavori::SamplePdf::write(folder / document.fileName, document);
            std::cout << (folder / document.fileName).native() << '\n';
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << '\n';
        return 1;
    }
    return 0;
}
