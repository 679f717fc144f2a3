#pragma once

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

// A one-page PDF; Japanese text uses a standard Japanese font that the reader substitutes.
std::string bytes(const Document& document);
void write(const std::filesystem::path& path, const Document& document);

// A few receipts and invoices of made-up shops.
const std::vector<Document>& samples();

// A receipt of `vendor` on 2024-`month`-`day` over `amount` yen (for batches of distinct documents).
Document receipt(const std::string& vendor, int month, int day, long amount);

}  // namespace tavori::SamplePdf
