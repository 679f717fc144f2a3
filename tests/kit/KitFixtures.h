#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TavoriKit/reading/Image.h"

// Documents generated at test time from known text, so that recognition tests know what must come through.
namespace tavori::test {

// A fresh folder under the system's temporary folder, removed with everything in it at the end of the test.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// One run of text on a PDF page: `x` and `y` in points from the page's top-left corner to the run's baseline
// start, `size` in points. Japanese and ASCII text both render (a Japanese system font stands in).
struct TextRun {
    std::string text;
    double x = 0;
    double y = 0;
    double size = 12;
};

struct PdfPageSpec {
    std::vector<TextRun> runs;
    double width = 595;
    double height = 842;
    int rotate = 0;                  // the page's /Rotate
    std::vector<std::uint8_t> jpeg;  // a full-page image drawn under the text, when not empty
    int jpegWidth = 0;
    int jpegHeight = 0;
};

// A PDF with a real text layer (and optional page images), written by hand.
std::string pdfBytes(const std::vector<PdfPageSpec>& pages, const std::string& trailerExtra = {});
void writePdf(const std::filesystem::path& path, const std::vector<PdfPageSpec>& pages);
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

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);
void writeBytes(const std::filesystem::path& path, const std::string& bytes);
std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);

// All recognised text of lines, normalised, joined by newlines, with spaces removed (OCR puts them anywhere).
std::string compactText(const std::vector<std::string>& texts);

}  // namespace tavori::test
