#include "samples/SamplePdf.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TavoriCore/FileNameTemplate.h"
#include "TavoriCore/Unicode.h"

namespace tavori::SamplePdf {
namespace {

// The text as the font's UCS-2 code units in a hex string.
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
    s.precision(2);
    s << std::fixed << v;
    return s.str();
}

}  // namespace

std::string bytes(const Document& document) {
    Page page;
    page.lines = document.lines;
    page.width = document.width;
    page.height = document.height;
    return bytes({page}, {}, document.padding);
}

std::string bytes(const std::vector<Page>& pages, const std::string& trailerExtra, std::size_t padding) {
    std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "",  // the page tree, once the pages have their numbers
        "<< /Type /Font /Subtype /Type0 /BaseFont /HeiseiKakuGo-W5 /Encoding /UniJIS-UCS2-H /DescendantFonts "
        "[4 0 R] >>",
        "<< /Type /Font /Subtype /CIDFontType0 /BaseFont /HeiseiKakuGo-W5 /CIDSystemInfo << /Registry "
        "(Adobe) "
        "/Ordering (Japan1) /Supplement 5 >> /FontDescriptor 5 0 R /DW 1000 /W [1 95 500 231 325 500] >>",
        "<< /Type /FontDescriptor /FontName /HeiseiKakuGo-W5 /Flags 4 /FontBBox [0 -200 1000 900] "
        "/ItalicAngle 0 "
        "/Ascent 880 /Descent -120 /CapHeight 700 /StemV 80 >>",
    };
    std::string kids;
    for (const auto& page : pages) {
        const std::string pageId = std::to_string(objects.size() + 1);
        const std::string imageId = std::to_string(objects.size() + 3);
        std::string content;
        if (!page.jpeg.empty())
            content += "q " + number(page.width) + " 0 0 " + number(page.height) + " 0 0 cm /Im1 Do Q\n";
        content += page.drawing;
        for (const auto& line : page.lines)
            content += "BT /F1 " + number(line.size) + " Tf 1 0 0 1 " + number(line.x) + " " +
                       number(page.height - line.y) + " Tm " + hexUtf16(line.text) + " Tj ET\n";
        kids += (kids.empty() ? "" : " ") + pageId + " 0 R";
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + number(page.width) + " " +
                          number(page.height) + "]" +
                          (page.rotate != 0 ? " /Rotate " + std::to_string(page.rotate) : "") +
                          " /Resources << /Font << /F1 3 0 R >>" +
                          (page.jpeg.empty() ? "" : " /XObject << /Im1 " + imageId + " 0 R >>") +
                          " >> /Contents " + std::to_string(objects.size() + 2) + " 0 R >>");
        objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                          "\nendstream");
        if (!page.jpeg.empty())
            objects.push_back("<< /Type /XObject /Subtype /Image /Width " + std::to_string(page.jpegWidth) +
                              " /Height " + std::to_string(page.jpegHeight) +
                              " /ColorSpace /DeviceGray /BitsPerComponent 8 /Filter /DCTDecode /Length " +
                              std::to_string(page.jpeg.size()) + " >>\nstream\n" +
                              std::string(page.jpeg.begin(), page.jpeg.end()) + "\nendstream");
    }
    objects[1] = "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " >>";
    if (padding > 0)
        objects.push_back("<< /Length " + std::to_string(padding) + " >>\nstream\n" +
                          std::string(padding, ' ') + "\nendstream");
    std::string out = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R " +
           (trailerExtra.empty() ? "" : trailerExtra + " ") + ">>\nstartxref\n" + std::to_string(xref) +
           "\n%%EOF\n";
    return out;
}

void write(const std::filesystem::path& path, const Document& document) {
    std::ofstream out(path, std::ios::binary);
    out << bytes(document);
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path.string());
}

void writeSamples(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    for (const auto& document : samples()) write(folder / document.fileName, document);
}

Document receipt(const std::string& vendor, int month, int day, long amount) {
    const std::string date = "2024年" + std::to_string(month) + "月" + std::to_string(day) + "日 12:30";
    const std::string yen = "¥" + FileNameTemplate::grouped(amount);
    return {"receipt.pdf",
            {{vendor, 36, 40, 16},
             {"領収書", 36, 70, 12},
             {date, 36, 96, 11},
             {"お品代", 36, 130, 11},
             {yen, 200, 130, 11},
             {"合計", 36, 160, 12},
             {yen, 200, 160, 12},
             {"ありがとうございました", 36, 200, 10}}};
}

const std::vector<Document>& samples() {
    static const std::vector<Document> documents = {
        {"scan_0001.pdf",
         {{"さくら文具店", 36, 40, 16},
          {"東京都千代田区神田1-2-3", 36, 62, 9},
          {"登録番号 T1234567890123", 36, 80, 9},
          {"領収書", 36, 110, 14},
          {"2024年3月15日 14:05", 36, 134, 11},
          {"ボールペン", 36, 166, 11},
          {"¥330", 220, 166, 11},
          {"ノート 3冊", 36, 186, 11},
          {"¥660", 220, 186, 11},
          {"小計", 36, 214, 11},
          {"¥990", 220, 214, 11},
          {"(内消費税 10% ¥90)", 36, 232, 9},
          {"合計", 36, 256, 13},
          {"¥990", 214, 256, 13},
          {"ありがとうございました", 36, 300, 10}}},
        {"scan_0002.pdf",
         {{"喫茶ひまわり", 36, 40, 16},
          {"2024/04/02 12:41", 36, 66, 11},
          {"ブレンドコーヒー", 36, 100, 11},
          {"¥480", 220, 100, 11},
          {"ナポリタン", 36, 120, 11},
          {"¥920", 220, 120, 11},
          {"合計", 36, 150, 13},
          {"¥1,400", 206, 150, 13},
          {"お預り", 36, 172, 11},
          {"¥2,000", 210, 172, 11},
          {"お釣り", 36, 192, 11},
          {"¥600", 220, 192, 11}}},
        {"invoice-may.pdf",
         {{"請求書", 120, 40, 18},
          {"山田デザイン事務所 御中", 36, 76, 11},
          {"請求日 2024年5月31日", 36, 100, 10},
          {"株式会社みどり印刷", 36, 124, 13},
          {"登録番号 T9876543210987", 36, 142, 9},
          {"チラシ印刷 1,000部", 36, 180, 11},
          {"¥45,000", 206, 180, 11},
          {"消費税 10%", 36, 200, 11},
          {"¥4,500", 212, 200, 11},
          {"ご請求金額", 36, 236, 13},
          {"¥49,500", 200, 236, 13},
          {"お支払期限 2024年6月30日", 36, 270, 10}},
         300,
         420},
    };
    return documents;
}

}  // namespace tavori::SamplePdf
