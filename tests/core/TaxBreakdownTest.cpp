#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TavoriCore/ReceiptAnalyzer.h"
#include "TavoriCore/TaxBreakdownExtractor.h"

namespace tavori {
namespace {

using Level = FieldConfidence::Level;

std::vector<TextLine> linesOf(const std::vector<std::string>& texts) {
    std::vector<TextLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i)
        lines.push_back(TextLine{texts[i], 0.3 + 0.05 * static_cast<double>(i), 0.1, 0, 1.0, {}});
    return lines;
}

struct Case {
    const char* name;
    std::vector<std::string> lines;
    std::optional<std::int64_t> total;
    std::vector<TaxRateAmount> expected;
    Level level;
};

TEST(TaxBreakdownExtractor, FormsReceiptsPrint) {
    const std::vector<Case> cases = {
        {"one line, tax included",
         {"10%対象 ¥2,200 内消費税 ¥200"},
         2200,
         {{10, 2200, 200, true}},
         Level::high},
        {"full-width, bracketed, no tax",
         {"（８％対象　￥１，０８０）"},
         1080,
         {{8, 1080, {}, true}},
         Level::medium},
        {"mixed 8 and 10, tax on the next line",
         {"10%対象 ¥2,200", "(内消費税 ¥200)", "8%対象 ¥1,080", "(内消費税 ¥80)", "合計 ¥3,280"},
         3280,
         {{10, 2200, 200, true}, {8, 1080, 80, true}},
         Level::high},
        {"reduced rate by name, legend ignored",
         {"※は軽減税率対象商品", "牛乳 ※ ¥216", "軽減税率対象 ¥216", "標準税率対象 ¥330", "合計 ¥546"},
         546,
         {{10, 330, {}, true}, {8, 216, {}, true}},
         Level::medium},
        {"tax excluded, tax lines by rate",
         {"10%対象額 ¥2,000", "消費税等(10%) ¥200", "8%対象額 ¥1,000", "消費税等(8%) ¥80", "合計 ¥3,280"},
         3280,
         {{10, 2000, 200, false}, {8, 1000, 80, false}},
         Level::high},
        {"label on one line, amount under it",
         {"8%対象計", "¥1,080", "(内税 ¥80)"},
         1080,
         {{8, 1080, 80, true}},
         Level::high},
        {"外税 words decide without a total",
         {"外税 10%対象 ¥1,000 税 ¥100"},
         std::nullopt,
         {{10, 1000, 100, false}},
         Level::medium},
        {"only the tax printed: the total gives the amount",
         {"小計 ¥3,000", "消費税(10%) ¥300", "合計 ¥3,300"},
         3300,
         {{10, 3000, 300, false}},
         Level::high},
        {"a missing rate: the 8 % goods are not accounted for",
         {"10%対象 ¥2,200 内消費税 ¥200", "合計 ¥3,280"},
         3280,
         {{10, 2200, 200, true}},
         Level::low},
        {"disagrees with the total",
         {"10%対象 ¥2,200 (内消費税 ¥200)", "8%対象 ¥1,080 (内消費税 ¥80)"},
         3000,
         {{10, 2200, 200, true}, {8, 1080, 80, true}},
         Level::low},
        {"a wrong tax is kept but not trusted",
         {"10%対象 ¥2,200 内消費税 ¥150"},
         2200,
         {{10, 2200, 150, true}},
         Level::medium},
        {"no rate at all", {"合計 ¥1,100", "(内消費税 ¥100)"}, 1100, {}, Level::missing},
        {"discounts and percentages are not amounts",
         {"10%引き ¥-50", "ポイント 8% 12", "合計 ¥500"},
         500,
         {},
         Level::missing},
    };
    for (const Case& c : cases) {
        const auto lines = linesOf(c.lines);
        const auto found = TaxBreakdownExtractor::extract(lines, c.total);
        EXPECT_EQ(found, c.expected) << c.name;
        EXPECT_EQ(TaxBreakdown::assess(found, c.total), c.level) << c.name;
    }
}

TEST(TaxBreakdownExtractor, AnalyzerAsksForReviewWhenRatesDisagree) {
    RecognizedDocument document;
    document.lines = linesOf({"スーパーマルエツ", "2024/03/05", "10%対象 ¥2,200 内消費税 ¥200",
                              "8%対象 ¥1,000 内消費税 ¥74", "合計 ¥3,280"});
    const ReceiptFields fields = ReceiptAnalyzer::analyze(document, AnalyzerOptions{});
    ASSERT_EQ(fields.amount, 3280);
    EXPECT_EQ(fields.taxBreakdown.size(), 2u);
    EXPECT_EQ(fields.confidence.taxBreakdown, Level::low);
    // However plainly labelled, a total the rates contradict is not shown as certain.
    EXPECT_EQ(fields.confidence.amount, Level::medium);
    EXPECT_TRUE(asksForReview(fields));
    const auto reasons = fields.confidence.reviewReasons();
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), "金額: 税率別の金額が合計と一致しません"),
              reasons.end());

    // Coded and decoded whole; a record coded before the breakdown existed still decodes.
    const nlohmann::json coded = fields;
    EXPECT_EQ(coded.at("taxBreakdown").at(1).dump(),
              R"({"rate":8,"tax":74,"taxIncluded":true,"taxableAmount":1000})");
    EXPECT_EQ(coded.get<ReceiptFields>(), fields);
    nlohmann::json old = coded;
    old.erase("taxBreakdown");
    old["confidence"].erase("taxBreakdown");
    EXPECT_TRUE(old.get<ReceiptFields>().taxBreakdown.empty());
}

}  // namespace
}  // namespace tavori
