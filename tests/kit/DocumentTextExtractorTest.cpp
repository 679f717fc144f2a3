#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "KitFixtures.h"
#include "TavoriCore/TextNormalizer.h"
#include "TavoriKit/DocumentTextExtractor.h"

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
