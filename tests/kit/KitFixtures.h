#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TavoriKit/reading/Image.h"
#include "samples/SamplePdf.h"
#include "tests/TestFiles.h"

// Documents generated at test time from known text, so that recognition tests know what must come through.
namespace tavori::test {

using TempDir = TestFolder;
// Lines of text and pages, as the samples draw them.
using TextRun = SamplePdf::Line;
using PdfPageSpec = SamplePdf::Page;

inline std::string pdfBytes(const std::vector<PdfPageSpec>& pages, const std::string& trailerExtra = {}) {
    return SamplePdf::bytes(pages, trailerExtra);
}
inline void writePdf(const std::filesystem::path& path, const std::vector<PdfPageSpec>& pages) {
    writeFile(path, pdfBytes(pages));
}
// Lines stacked from the top at `size` points, 1.6 × size apart, starting at `left`.
PdfPageSpec pageWithLines(const std::vector<std::string>& lines, double size = 12, double left = 36);
// A scanned page: `image` drawn over the whole page, with no text layer.
PdfPageSpec scannedPage(const Image& image, double width = 595, double height = 842);

// A small Japanese receipt: store, date, items, and 合計 with its amount at the right of the same row.
PdfPageSpec receiptPage();
// The receipt rendered to a grey image at `scale` pixels per point.
Image receiptImage(double scale = 3.0);
// Any page rendered as an image.
Image renderPage(const PdfPageSpec& page, double scale);

inline void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    writeFile(path, std::string(bytes.begin(), bytes.end()));
}
inline void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    writeFile(path, bytes);
}
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

// All recognised text of lines, normalised, joined by newlines, with spaces removed (OCR puts them anywhere).
std::string compactText(const std::vector<std::string>& texts);

}  // namespace tavori::test
