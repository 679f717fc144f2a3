#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriCore/PreparedLines.h"

namespace tavori {
namespace {

TextLine line(std::string text, double top) {
    return TextLine{std::move(text), top, 0.1, 0, 1.0, {}};
}

// Each line keeps its index: its raw text and position, its normalised text and its searched form.
TEST(PreparedLines, EveryLineKeepsItsIndexAndItsNormalisedText) {
    struct Case {
        std::string raw;
        std::string normalized;
        std::string folded;
    };
    const std::vector<Case> cases = {
        {"　合計　￥１，２３４　", "合計 ¥1,234", "合計 ¥1,234"},
        {"INVOICE  No.１", "INVOICE No.1", "invoice no.1"},
        {"株式会社\xFF"
         "サンプル",
         "株式会社\uFFFDサンプル", "株式会社\uFFFDサンプル"},
        {"", "", ""},
        // Normalising keeps the decomposed accent; only the searched form is in NFC.
        {"Cafe\u0301 ＡＢＣ", "Cafe\u0301 ABC", "caf\u00E9 abc"},
    };
    std::vector<TextLine> lines;
    for (std::size_t i = 0; i < cases.size(); ++i)
        lines.push_back(line(cases[i].raw, 0.1 * static_cast<double>(i)));
    const PreparedLines prepared(lines);

    ASSERT_EQ(prepared.size(), cases.size());
    // Asked out of order, as an extractor looking at a neighbouring line does.
    for (std::size_t i = cases.size(); i-- > 0;) {
        SCOPED_TRACE("line " + std::to_string(i));
        EXPECT_EQ(prepared.line(i), lines[i]);
        EXPECT_EQ(prepared.normalized(i), cases[i].normalized);
        EXPECT_EQ(prepared.prepared(i).folded(), cases[i].folded);
    }
    EXPECT_TRUE(PreparedLines(std::vector<TextLine>{}).empty());
}

// An extractor may read a line's normalised text first and prepare it later: what it holds stays valid.
TEST(PreparedLines, NormalisedTextOutlivesPreparingTheLine) {
    const std::vector<TextLine> lines = {line("ご請求金額　￥５００", 0.2)};
    const PreparedLines prepared(lines);
    const std::string& normalized = prepared.normalized(0);
    EXPECT_EQ(prepared.prepared(0).text(), "ご請求金額 ¥500");
    EXPECT_EQ(normalized, "ご請求金額 ¥500");
    EXPECT_EQ(prepared.normalized(0), "ご請求金額 ¥500");
}

}  // namespace
}  // namespace tavori
