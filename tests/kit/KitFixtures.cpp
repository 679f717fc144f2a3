#include "KitFixtures.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TavoriCore/TextNormalizer.h"
#include "TavoriCore/Unicode.h"
#include "TavoriKit/reading/PdfDocument.h"

namespace tavori::test {
namespace {

std::string hexUtf16(const std::string& utf8) {
    static const char* digits = "0123456789ABCDEF";
    std::string out = "<";
    auto unit = [&](unsigned u) {
        for (int shift = 12; shift >= 0; shift -= 4) out += digits[(u >> shift) & 0xF];
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const char32_t c = Unicode::nextScalar(utf8, i);
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(static_cast<unsigned>(c));
        }
    }
    return out + ">";
}

std::string number(double v) {
    std::ostringstream s;
    s.precision(6);
    s << std::fixed << v;
    return s.str();
}

}  // namespace

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "tavori-kit-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string pdfBytes(const std::vector<PdfPageSpec>& pages, const std::string& trailerExtra) {
    // Objects: 1 catalog, 2 pages, 3 font, 4 descendant font, 5 descriptor, then per page: page, contents,
    // image.
    std::vector<std::string> objects(5);
    objects[0] = "<< /Type /Catalog /Pages 2 0 R >>";
    objects[2] =
        "<< /Type /Font /Subtype /Type0 /BaseFont /HeiseiKakuGo-W5 /Encoding /UniJIS-UCS2-H /DescendantFonts "
        "[4 0 R] "
        ">>";
    objects[3] =
        "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /HeiseiKakuGo-W5 /CIDSystemInfo << /Registry "
        "(Adobe) "
        "/Ordering (Japan1) /Supplement 5 >> /FontDescriptor 5 0 R /DW 1000 /W [1 95 500 231 325 500] >>";
    objects[4] =
        "<< /Type /FontDescriptor /FontName /HeiseiKakuGo-W5 /Flags 4 /FontBBox [0 -200 1000 900] "
        "/ItalicAngle 0 "
        "/Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>";
    std::string kids;
    std::vector<std::string> binaries(5);
    for (const auto& page : pages) {
        const std::size_t pageId = objects.size() + 1, contentId = pageId + 1, imageId = pageId + 2;
        kids += std::to_string(pageId) + " 0 R ";
        std::string content;
        if (!page.jpeg.empty())
            content += "q " + number(page.width) + " 0 0 " + number(page.height) + " 0 0 cm /Im1 Do Q\n";
        for (const auto& run : page.runs)
            content += "BT /F1 " + number(run.size) + " Tf 1 0 0 1 " + number(run.x) + " " +
                       number(page.height - run.y) + " Tm " + hexUtf16(run.text) + " Tj ET\n";
        std::string resources = "<< /Font << /F1 3 0 R >>";
        if (!page.jpeg.empty()) resources += " /XObject << /Im1 " + std::to_string(imageId) + " 0 R >>";
        resources += " >>";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width) + " " +
                          number(page.height) + "] /Rotate " + std::to_string(page.rotate) + " /Resources " +
                          resources + " /Contents " + std::to_string(contentId) + " 0 R >>");
        binaries.push_back({});
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>");
        binaries.push_back(content);
        if (!page.jpeg.empty()) {
            objects.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(page.jpegWidth) +
                              " /Height " + std::to_string(page.jpegHeight) +
                              " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode /Length " +
                              std::to_string(page.jpeg.size()) + " >>");
            binaries.emplace_back(page.jpeg.begin(), page.jpeg.end());
        } else {
            objects.push_back("<< >>");  // keeps object numbering regular
            binaries.push_back({});
        }
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";

    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\n";
        if (i < binaries.size() && !binaries[i].empty()) out += "stream\n" + binaries[i] + "\nendstream\n";
        out += "endobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R " + trailerExtra +
           " >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

void writePdf(const std::filesystem::path& path, const std::vector<PdfPageSpec>& pages) {
    writeBytes(path, pdfBytes(pages));
}

PdfPageSpec pageWithLines(const std::vector<std::string>& lines, double size, double left) {
    PdfPageSpec page;
    double y = 36 + size;
    for (const auto& line : lines) {
        page.runs.push_back({line, left, y, size});
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
    page.runs = {
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

void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeBytes(const std::filesystem::path& path, const std::string& bytes) {
    writeBytes(path, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
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
