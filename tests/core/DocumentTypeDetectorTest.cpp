#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriCore/DocumentTypeDetector.h"

namespace tavori {
namespace {

std::vector<TextLine> linesOf(std::vector<std::string> texts) {
    std::vector<TextLine> out;
    for (std::size_t i = 0; i < texts.size(); ++i) out.push_back(TextLine{texts[i], i * 0.05, 0, 0, 1.0, {}});
    return out;
}

struct Case {
    const char* name;
    std::vector<std::string> lines;
    DocumentType expected;
};

TEST(DocumentTypeDetector, Detects) {
    const std::string filler = "ここには長い本文が入りますので長さの加点はありません";
    const std::vector<Case> cases = {
        {"empty", {}, DocumentType::other},
        {"no marker", {"株式会社サンプル", "合計 ¥1,100"}, DocumentType::other},
        {"receipt title", {"領収書", "株式会社サンプル", "合計 ¥1,100"}, DocumentType::receipt},
        {"full-width INVOICE", {"ＩＮＶＯＩＣＥ"}, DocumentType::invoice},
        {"lower-case invoice", {"invoice"}, DocumentType::invoice},
        {"estimate title beats invoice in body",
         {"御見積書", "a", "b", "c", "d", filler + "請求書"},
         DocumentType::estimate},
        // statement 5+5+0 vs contract 5+5+0: a tie goes to the type listed first.
        {"tie goes to first listed", {"明細書と契約書についての長いご案内文です"}, DocumentType::statement},
        {"tie reversed order still first listed",
         {"契約書と明細書についての長いご案内文です"},
         DocumentType::statement},
    };
    for (const auto& c : cases) {
        const auto lines = linesOf(c.lines);
        EXPECT_EQ(DocumentTypeDetector::detect(lines), c.expected) << c.name;
    }
}

TEST(DocumentTypeDetector, PositionAndLengthBonuses) {
    // One receipt marker "レジ" (10, +5 in the first five lines, +5 when the line is at most 2+4 characters)
    // against a fixed invoice score from a long line far down: 10 + "振込先" 10 = 20.
    const std::string longInvoice = "お振込先は下記の口座までお願いいたします請求金額をご確認ください";
    struct Bonus {
        const char* name;
        std::size_t index;
        std::string receiptLine;
        DocumentType expected;
    };
    // Receipt reaching 20 ties with invoice and wins, being listed first; 15 loses.
    const std::vector<Bonus> cases = {
        {"index 4, 2 chars: both bonuses", 4, "レジ", DocumentType::receipt},
        {"index 4, 6 chars: length bonus at its edge", 4, "レジ0001", DocumentType::receipt},
        {"index 4, 7 chars: no length bonus", 4, "レジ00001", DocumentType::invoice},
        {"index 5: no position bonus", 5, "レジ", DocumentType::invoice},
        {"index 5, two overlapping markers add up", 5, "領収証", DocumentType::receipt},
    };
    for (const auto& c : cases) {
        std::vector<std::string> texts(8, "-");
        texts[c.index] = c.receiptLine;
        texts[7] = longInvoice;
        const auto lines = linesOf(texts);
        EXPECT_EQ(DocumentTypeDetector::detect(lines), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace tavori
