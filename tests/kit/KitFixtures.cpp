#include "KitFixtures.h"

#include <fstream>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/PdfDocument.h"

namespace tavori::test {

PdfPageSpec pageWithLines(const std::vector<std::string>& lines, double size, double left) {
    PdfPageSpec page;
    double y = 36 + size;
    for (const auto& line : lines) {
        page.lines.push_back({line, left, y, size});
        y += 1.6 * size;
    }
    return page;
}

PdfPageSpec scannedPage(const Image& image, double width, double height) {
    PdfPageSpec page;
    page.width = width;
    page.height = height;
    const Image grey = image.toGrey();
    page.jpeg = grey.encodedJpeg(92);
    page.jpegWidth = grey.width();
    page.jpegHeight = grey.height();
    return page;
}

PdfPageSpec receiptPage() {
    PdfPageSpec page;
    page.width = 260;
    page.height = 300;
    const double s = 12;
    page.lines = {
        {"東京フードマーケット", 30, 34, 14},
        {"2024年3月15日 14:05", 30, 64, s},
        {"おにぎり", 30, 94, s},
        {"¥150", 190, 94, s},
        {"緑茶", 30, 118, s},
        {"¥130", 190, 118, s},
        {"合計", 30, 150, s},
        {"¥1,980", 178, 150, s},
        {"ありがとうございました", 30, 186, s},
    };
    return page;
}

Image renderPage(const PdfPageSpec& page, double scale) {
    const TempDir dir;
    writePdf(dir / "page.pdf", {page});
    const auto pdf = PdfDocument::open(dir / "page.pdf");
    if (!pdf) return {};
    const auto rendered = pdf->page(0);
    return rendered ? rendered->render(scale, false, 40e6) : Image();
}

Image receiptImage(double scale) {
    return renderPage(receiptPage(), scale);
}

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string compactText(const std::vector<std::string>& texts) {
    std::string out;
    for (const auto& t : texts) {
        for (char c : TextNormalizer::normalize(t))
            if (c != ' ') out += c;
        out += '\n';
    }
    return out;
}

}  // namespace tavori::test
