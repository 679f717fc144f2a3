#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Small documents with a real text layer, written by hand, for the samples and the command-line tests.
namespace tavori::SamplePdf {

// One line of text: `x` and `y` in points from the page's top-left corner to the baseline start.
struct Line {
    std::string text;
    double x = 36;
    double y = 0;
    double size = 12;
};

struct Document {
    std::string fileName;
    std::vector<Line> lines;
    double width = 300;
    double height = 420;
    std::size_t padding = 0;  // bytes of an object no page uses, for documents of a given size
};

// One page of a document of several, optionally a scan: a greyscale JPEG drawn over the whole page under
// the text.
struct Page {
    std::vector<Line> lines;
    double width = 595;
    double height = 842;
    int rotate = 0;       // the page's /Rotate
    std::string drawing;  // content operators drawn under the text, such as vector fills
    std::vector<std::uint8_t> jpeg;
    int jpegWidth = 0;
    int jpegHeight = 0;
};

// A one-page PDF; Japanese text uses a standard Japanese font that the reader substitutes.
std::string bytes(const Document& document);
// A PDF of `pages`; `trailerExtra` goes into the trailer's dictionary (an /Encrypt, say).
std::string bytes(const std::vector<Page>& pages, const std::string& trailerExtra = {},
                  std::size_t padding = 0);
void write(const std::filesystem::path& path, const Document& document);

// A few receipts and invoices of made-up shops.
const std::vector<Document>& samples();
// Writes each of samples() into `folder`, made if missing, under its own file name.
void writeSamples(const std::filesystem::path& folder);

// A receipt of `vendor` on 2024-`month`-`day` over `amount` yen (for batches of distinct documents).
Document receipt(const std::string& vendor, int month, int day, long amount);

}  // namespace tavori::SamplePdf
