#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "TavoriKit/reading/DocumentFile.h"
#include "TavoriKit/reading/PdfDocument.h"

// The PDF path on arbitrary bytes, through a file as the reader meets it: the opening checks, poppler's
// opening, page text and a small render.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tavori;
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("tavori-fuzz-" + std::to_string(::getpid()) + ".pdf");
    if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, file);
        std::fclose(file);
    }
    if (DocumentFile::checkPdf(path) != DocumentFile::Failure::none) return 0;
    DocumentFile::Failure failure = DocumentFile::Failure::none;
    const auto pdf = PdfDocument::open(path, &failure);
    if (!pdf) {
        if (failure == DocumentFile::Failure::none) __builtin_trap();
        return 0;
    }
    const int pages = pdf->pageCount();
    for (int i = 0; i < pages && i < 2; ++i)
        if (const auto page = pdf->page(i)) {
            (void)page->text();
            (void)page->render(0.1, false, 1 << 18);
        }
    return 0;
}
