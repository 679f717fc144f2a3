#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "KitFixtures.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/reading/DocumentTextExtractor.h"
#include "TavoriKit/reading/PdfDocument.h"

namespace tavori {
namespace {

using test::TempDir;
using Source = RecognizedDocument::TextSource;

std::vector<std::string> texts(const std::vector<TextLine>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.text);
    return out;
}

std::string compact(const std::vector<TextLine>& lines) {
    return test::compactText(texts(lines));
}

// What a reader of the receipt must get: the amount with its label on one row, and the date.
void expectReceiptRead(const std::vector<TextLine>& lines, const std::string& what) {
    const std::string all = compact(lines);
    EXPECT_NE(all.find("1,980"), std::string::npos) << what << ":\n" << all;
    EXPECT_NE(all.find("2024年3月15日"), std::string::npos) << what << ":\n" << all;
    bool totalRow = false;
    for (const auto& line : lines) {
        const std::string n = TextNormalizer::normalize(line.text);
        if (n.find("計") != std::string::npos && n.find("1,980") != std::string::npos) totalRow = true;
    }
    EXPECT_TRUE(totalRow) << what << ": 合計 and its amount must share a line:\n" << all;
}

TEST(DocumentTextExtractor, ThreadLimitIsSetBeforeTheTestsRun) {
    const char* limit = std::getenv("OMP_THREAD_LIMIT");
    ASSERT_NE(limit, nullptr) << "main() must re-execute with OMP_THREAD_LIMIT";
    EXPECT_STREQ(limit, "1");
}

TEST(DocumentTextExtractor, SupportedExtensionsIgnoreCase) {
    const struct {
        const char* name;
        bool supported;
    } cases[] = {
        {"a.pdf", true},      {"a.PDF", true},  {"a.Jpeg", true}, {"a.jpg", true},  {"a.png", true},
        {"a.heic", true},     {"a.HEIF", true}, {"a.tif", true},  {"a.tiff", true}, {"a.gif", true},
        {"a.bmp", true},      {"a.webp", true}, {"a.txt", false}, {"a", false},     {"pdf", false},
        {"a.pdf.txt", false}, {"a.jp2", false}, {".pdf", false},
    };
    for (const auto& c : cases) EXPECT_EQ(DocumentTextExtractor::isSupported(c.name), c.supported) << c.name;
    EXPECT_EQ(DocumentTextExtractor::supportedExtensions().size(), 11u);
}

TEST(DocumentTextExtractor, ReadsAReceiptImage) {
    const TempDir dir;
    ASSERT_TRUE(test::receiptImage(3.0).writePng(dir / "receipt.png"));
    const auto document = DocumentTextExtractor{}.extract(dir / "receipt.png");
    EXPECT_EQ(document.source, Source::ocr);
    expectReceiptRead(document.lines, "receipt.png");
    for (const auto& line : document.lines) {
        EXPECT_EQ(line.page, 0);
        EXPECT_GE(line.top, 0.0);
        EXPECT_LT(line.top, 1.0);
        EXPECT_GE(line.confidence, 0.0);
        EXPECT_LE(line.confidence, 1.0);
    }
    // Reading order: the store name above the date above the total.
    const auto sorted = document.sortedLines();
    const std::string all = compact(sorted);
    EXPECT_LT(all.find("2024"), all.find("1,980")) << all;
}

}  // namespace
}  // namespace tavori

namespace tavori {
namespace {

std::string repeated(const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
}

TEST(DocumentTextExtractor, ChoosesTextLayerFromTwentyLettersOrDigits) {
    const struct {
        const char* name;
        std::string text;
        Source expected;
    } cases[] = {
        {"20 ASCII letters and digits", "ABCDEFGHIJ1234567890", Source::pdfTextLayer},
        {"19 ASCII letters and digits", "ABCDEFGHIJ123456789", Source::ocr},
        {"19 with spaces and punctuation that do not count", "ABC, DEF. GHI! 123-456/789 J", Source::ocr},
        {"20 with spaces and punctuation", "ABC, DEF. GHI! 123-456/789 JK", Source::pdfTextLayer},
        {"20 kanji and kana", "東京都千代田区丸の内一丁目二番三号ビル内", Source::pdfTextLayer},
        {"19 kanji and kana", "東京都千代田区丸の内一丁目二番三号ビル", Source::ocr},
        {"20 full-width digits", repeated("１２３４５６７８９０", 2), Source::pdfTextLayer},
        {"yen signs and commas do not count", "¥1,980 ¥1,980 ¥1,980 ¥1,980 ¥19", Source::ocr},
    };
    const TempDir dir;
    for (const auto& c : cases) {
        test::writePdf(dir / "page.pdf", {test::pageWithLines({c.text}, 16)});
        const auto document = DocumentTextExtractor{}.extract(dir / "page.pdf");
        EXPECT_EQ(document.source, c.expected) << c.name;
        if (c.expected == Source::pdfTextLayer) {
            ASSERT_EQ(document.lines.size(), 1u) << c.name;
            EXPECT_EQ(document.lines[0], (TextLine{c.text, 0.0, 0.0, 0, 1.0, {}})) << c.name;
        }
    }
}

TEST(DocumentTextExtractor, TextLayerKeepsLabelAndAmountOnOneRow) {
    const TempDir dir;
    test::writePdf(dir / "receipt.PDF", {test::receiptPage()});
    const auto document = DocumentTextExtractor{}.extract(dir / "receipt.PDF");
    EXPECT_EQ(document.source, Source::pdfTextLayer) << "an upper-case extension takes the PDF path";
    bool totalRow = false;
    for (const auto& line : document.lines) {
        const std::string n = TextNormalizer::normalize(line.text);
        totalRow = totalRow || (n.find("合計") == 0 && n.find("¥1,980") != std::string::npos);
        EXPECT_EQ(line.confidence, 1.0);
    }
    EXPECT_TRUE(totalRow) << compact(document.lines);
}

TEST(DocumentTextExtractor, ReadsOnlyTheLeadingPages) {
    const TempDir dir;
    const auto pages = [](int count) {
        std::vector<test::PdfPageSpec> out;
        for (int i = 0; i < count; ++i)
            out.push_back(
                test::pageWithLines({"Page number " + std::to_string(i) + " of the long document"}));
        return out;
    };
    const struct {
        const char* name;
        int pageCount;
        int maxPages;
        std::vector<std::int64_t> expectedPages;
    } cases[] = {
        {"5 pages, default 3", 5, 3, {0, 1, 2}}, {"3000 pages, default 3", 3000, 3, {0, 1, 2}},
        {"2 pages, default 3", 2, 3, {0, 1}},    {"5 pages, maxPages 1", 5, 1, {0}},
        {"5 pages, maxPages 0", 5, 0, {}},
    };
    for (const auto& c : cases) {
        test::writePdf(dir / "long.pdf", pages(c.pageCount));
        DocumentTextExtractor extractor;
        extractor.maxPages = c.maxPages;
        const auto document = extractor.extract(dir / "long.pdf");
        std::vector<std::int64_t> seen;
        for (const auto& line : document.lines) seen.push_back(line.page);
        EXPECT_EQ(seen, c.expectedPages) << c.name;
        for (const auto& line : document.lines)
            EXPECT_EQ(line.text, "Page number " + std::to_string(line.page) + " of the long document")
                << c.name;
    }
}

TEST(DocumentTextExtractor, ScannedPagesAreRecognisedAndMarkTheDocumentOcr) {
    const TempDir dir;
    const Image scan = test::receiptImage(2.5);
    const test::PdfPageSpec scanned = test::scannedPage(scan, 260, 300);
    test::writePdf(dir / "scanned.pdf", {scanned});
    const auto scannedOnly = DocumentTextExtractor{}.extract(dir / "scanned.pdf");
    EXPECT_EQ(scannedOnly.source, Source::ocr);
    expectReceiptRead(scannedOnly.lines, "scanned-only PDF");

    test::writePdf(dir / "mixed.pdf",
                   {test::pageWithLines({"Invoice number 2024-0042 for services rendered"}), scanned});
    const auto mixed = DocumentTextExtractor{}.extract(dir / "mixed.pdf");
    EXPECT_EQ(mixed.source, Source::ocr) << "one OCR page marks the whole document";
    ASSERT_FALSE(mixed.lines.empty());
    EXPECT_EQ(mixed.lines.front(),
              (TextLine{"Invoice number 2024-0042 for services rendered", 0, 0, 0, 1.0, {}}));
    std::vector<TextLine> secondPage;
    for (const auto& line : mixed.lines)
        if (line.page == 1) secondPage.push_back(line);
    expectReceiptRead(secondPage, "page 1 of the mixed PDF");
}

TEST(DocumentTextExtractor, RotatedScannedPageIsReadUpright) {
    const TempDir dir;
    // Stored sideways and turned upright by the page's /Rotate, as scanners write landscape-fed pages.
    test::PdfPageSpec page = test::scannedPage(test::receiptImage(2.5).rotated90(false), 300, 260);
    page.rotate = 90;
    test::writePdf(dir / "rotated.pdf", {page});
    expectReceiptRead(DocumentTextExtractor{}.extract(dir / "rotated.pdf").lines, "/Rotate 90 scan");
}

TEST(DocumentTextExtractor, LargeScanIsShrunkToAbout300DpiAndStillRead) {
    const TempDir dir;
    // A4 at 600 dpi: 35 megapixels.
    test::PdfPageSpec page = test::receiptPage();
    page.width = 595;
    page.height = 842;
    for (auto& run : page.runs) run.size = 12;
    const Image scan = test::renderPage(page, 600.0 / 72.0);
    ASSERT_GT(static_cast<double>(scan.width()) * scan.height(), 34e6);
    const Image prepared = DocumentTextExtractor::preparedForRecognition(scan);
    EXPECT_NEAR(prepared.width(), 2480, 25);
    EXPECT_NEAR(prepared.height(), 3508, 25);
    EXPECT_EQ(DocumentTextExtractor::preparedForRecognition(test::receiptImage(2.0)).width(),
              test::receiptImage(2.0).width())
        << "small images are left as they are";

    ASSERT_TRUE(scan.writePng(dir / "scan600.png"));
    expectReceiptRead(DocumentTextExtractor{}.extract(dir / "scan600.png").lines, "35 MP scan");
}

TEST(DocumentTextExtractor, CancelledTokenStopsBeforeRecognising) {
    const TempDir dir;
    ASSERT_TRUE(test::receiptImage(2.5).writePng(dir / "receipt.png"));
    test::writePdf(dir / "scanned.pdf", {test::scannedPage(test::receiptImage(2.5), 260, 300)});
    const CancellationToken token;
    token.cancel();
    EXPECT_TRUE(DocumentTextExtractor{}.extract(dir / "receipt.png", token).lines.empty());
    EXPECT_TRUE(DocumentTextExtractor{}.extract(dir / "scanned.pdf", token).lines.empty());
}

// A page that uses up its time (0 here, minutes for a page of vector drawings) stops the reading with the
// reason, where an unlimited one reads it.
TEST(DocumentTextExtractor, APageOverItsTimeLimitStopsWithTheReason) {
    const TempDir dir;
    test::writePdf(dir / "scanned.pdf", {test::scannedPage(test::receiptImage(2.5), 260, 300)});
    DocumentTextExtractor extractor;
    extractor.pageTimeLimit = std::chrono::milliseconds(0);
    try {
        extractor.extract(dir / "scanned.pdf");
        ADD_FAILURE() << "read";
    } catch (const DocumentTextExtractorError& e) {
        EXPECT_EQ(e.errorCase(), DocumentTextExtractorError::Case::pageTooSlow);
        EXPECT_TRUE(std::string(e.what()).starts_with("ページの読み取りが時間内に終わらなかった"))
            << e.what();
    }
}

// A page of nothing but vector fills, the kind that takes minutes to draw: the drawing polls its token
// between operations, so a token that fires stops it half-way and gives no picture.
TEST(DocumentTextExtractor, DrawingAPageStopsWhenItsTokenFires) {
    const TempDir dir;
    std::string content;
    for (int k = 0; k < 3000; ++k) content += "0." + std::to_string(k % 10) + " g 0 0 595 842 re f\n";
    const std::vector<std::string> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream"};
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(k + 1) + " 0 obj\n" + objects[k] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 5\n0000000000 65535 f \n";
    for (std::size_t offset : offsets)
        pdf += std::string(10 - std::to_string(offset).size(), '0') + std::to_string(offset) + " 00000 n \n";
    pdf += "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    test::writeBytes(dir / "fills.pdf", pdf);

    const auto document = PdfDocument::open(dir / "fills.pdf");
    ASSERT_TRUE(document);
    const auto page = document->page(0);
    ASSERT_TRUE(page);
    EXPECT_FALSE(page->render(0.2).empty());
    const CancellationToken firing = CancellationToken::firingAfter(3);
    EXPECT_TRUE(page->render(0.2, false, PdfPage::kMaxRenderPixels, &firing).empty());
    EXPECT_TRUE(firing.isCancelled());
}

TEST(DocumentTextExtractor, CancellingDuringAMultiPageScanStopsEarly) {
    const TempDir dir;
    const auto scanned = test::scannedPage(test::receiptImage(2.5), 260, 300);
    test::writePdf(dir / "three.pdf", {scanned, scanned, scanned});
    // The first poll is the page loop's before page 0; the token fires at the next one, from inside the
    // recognition of page 0, wherever the machine's timing puts it.
    const CancellationToken token = CancellationToken::firingAfter(2);
    const auto document = DocumentTextExtractor{}.extract(dir / "three.pdf", token);
    ASSERT_TRUE(token.isCancelled());
    for (const auto& line : document.lines)
        EXPECT_EQ(line.page, 0) << "no page after the one being read when the token fired";
    const auto whole = DocumentTextExtractor{}.extract(dir / "three.pdf");
    EXPECT_TRUE(std::any_of(whole.lines.begin(), whole.lines.end(), [](const TextLine& l) {
        return l.page == 2;
    })) << "the uncancelled reading has all three pages";
}

TEST(DocumentTextExtractor, ConcurrentExtractionsAgree) {
    const TempDir dir;
    ASSERT_TRUE(test::receiptImage(2.5).writePng(dir / "receipt.png"));
    const auto alone = DocumentTextExtractor{}.extract(dir / "receipt.png");
    std::vector<RecognizedDocument> results(2);
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back(
            [&result, &dir] { result = DocumentTextExtractor{}.extract(dir / "receipt.png"); });
    for (auto& t : threads) t.join();
    for (const auto& result : results) EXPECT_EQ(result, alone);
}

}  // namespace
}  // namespace tavori

namespace tavori {
namespace {

TEST(TesseractEngine, MissingModelsAreAnErrorNotACrash) {
    const test::TempDir dir;
    EXPECT_THROW(TesseractEngine::forThisThread(dir.path(), "jpn+eng"), TextRecognizerError);
    EXPECT_THROW(TesseractEngine::forThisThread(dir.path() / "missing", "Japanese+eng"), TextRecognizerError);
}

TEST(TesseractEngine, LanguagesFollowTheModelFolder) {
    const test::TempDir dir;
    const char* saved = std::getenv("TAVORI_TESSDATA");
    const std::string previous = saved ? saved : "";
    setenv("TAVORI_TESSDATA", dir.path().c_str(), 1);
    unsetenv("TAVORI_OCR_LANGUAGES");
    EXPECT_EQ(TesseractEngine::tessdataFolder(), dir.path());
    EXPECT_EQ(TesseractEngine::languages(), "jpn+eng") << "a folder without the script model";
    test::writeBytes(dir / "Japanese.traineddata", std::string("x"));
    EXPECT_EQ(TesseractEngine::languages(), "Japanese+eng") << "a folder with Debian's script model";
    setenv("TAVORI_OCR_LANGUAGES", "eng", 1);
    EXPECT_EQ(TesseractEngine::languages(), "eng");
    unsetenv("TAVORI_OCR_LANGUAGES");
    if (saved) {
        setenv("TAVORI_TESSDATA", previous.c_str(), 1);
    } else {
        unsetenv("TAVORI_TESSDATA");
    }
}

}  // namespace
}  // namespace tavori
