#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "TavoriCore/AmountExtractor.h"

namespace tavori {
namespace {

using AmountExtractor::NumericToken;

// Lines at the top edge of the page, so that no position bonus blurs the scores.
std::vector<TextLine> linesOf(const std::vector<std::string>& texts, double top = 0) {
    std::vector<TextLine> out;
    for (const auto& t : texts) out.push_back(TextLine{t, top, 0, 0, 1.0, {}});
    return out;
}

// The score of `amount` read from line `index`, or nothing when it is no candidate.
std::optional<int> scoreOf(const std::vector<std::string>& texts, std::int64_t index, std::int64_t amount) {
    for (const auto& c : AmountExtractor::extract(linesOf(texts)))
        if (c.lineIndex == index && c.amount == amount) return c.score;
    return std::nullopt;
}

TEST(AmountExtractor, NumericTokens) {
    struct Case {
        const char* text;
        std::vector<NumericToken> tokens;
    };
    const std::vector<Case> cases = {
        {"2024/01/15",
         {{"2024", false, false, false}, {"01", false, false, false}, {"15", false, false, false}}},
        {"TEL 03-1234-5678", {}},
        {"123456789", {{"123456789", false, false, false}}},
        {"1234567890", {}},
        {"1,234,567", {{"1,234,567", false, true, false}}},
        {"1,234.5", {{"1,234.5", false, true, true}}},
        {"1.234", {}},
        {"1,2345",
         {{"2345", false, false, false}}},  // no grouping fits, the digits after the comma stand alone
        {"No.12345", {}},
        {"12,000-", {{"12,000", true, true, false}}},
        {"¥ 1,000", {{"1,000", true, true, false}}},
        {"1,000 円", {{"1,000", true, true, false}}},
        {"JPY1000", {{"1000", true, false, false}}},
        {"1000JPY", {{"1000", true, false, false}}},
        {"JPY 1000", {{"1000", false, false, false}}},  // the window holds only "PY "
        {"1000 JPY", {{"1000", false, false, false}}},
        {"EUR100", {{"100", true, false, false}}},
        {"100 EUR", {{"100", false, false, false}}},
        {"¥\u03011000", {{"1000", false, false, false}}},         // "¥" with an accent is another character
        {"¥a\u0301b\u03011000", {{"1000", true, false, false}}},  // three characters back, not three scalars
    };
    for (const auto& c : cases) EXPECT_EQ(AmountExtractor::numericTokens(c.text), c.tokens) << c.text;
}

// The scanner that `extract` uses must find exactly the matches of the number pattern.
TEST(AmountExtractor, TokensAreThePatternsMatches) {
    const std::vector<std::string> texts = {"2024/01/15 12:30",
                                            "1,234,5678",
                                            "12.345.6",
                                            "-1-2",
                                            "1-2",
                                            "1.2.3",
                                            "1,234.567",
                                            "1,23",
                                            "12,345,678.9",
                                            "a1b22c333",
                                            "١٢٣ and ١,٢٣٤",
                                            "1٢3",
                                            "𝟏𝟐𝟑",
                                            "0.5",
                                            ".5",
                                            "5.",
                                            "1,000,",
                                            "9999999999,999",
                                            "x-12 3-4-",
                                            "¥１，２００",
                                            "",
                                            "------",
                                            "1\u0301 2"};
    for (const auto& text : texts) {
        std::vector<std::string> expected;
        for (const auto& m : AmountExtractor::numberToken().matches(text))
            expected.push_back(m.group(1) + m.group(2));
        std::vector<std::string> actual;
        for (const auto& t : AmountExtractor::numericTokens(text)) actual.push_back(t.value);
        EXPECT_EQ(actual, expected) << text;
    }
}

// Long lines: a grouped number is walked once, and the characters around each number are looked for near it.
TEST(AmountExtractor, LongLines) {
    std::string grouped = "1";
    for (int k = 0; k < 20000; ++k) grouped += ",234";
    const auto tail = AmountExtractor::numericTokens(grouped + ",12");
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].value, "12");
    EXPECT_EQ(AmountExtractor::numericTokens(grouped).size(), 1u);

    std::string marked = "e\u0301";  // one accent: characters are counted by clusters on this line
    for (int k = 0; k < 20000; ++k) marked += " ¥1";
    const auto tokens = AmountExtractor::numericTokens(marked);
    ASSERT_EQ(tokens.size(), 20000u);
    EXPECT_TRUE(tokens.front().hasCurrencyMark && tokens.back().hasCurrencyMark);
}

TEST(AmountExtractor, ParseValue) {
    struct Case {
        const char* value;
        bool decimals;
        std::optional<std::int64_t> expected;
    };
    const std::vector<Case> cases = {
        {"1,234.50", true, 1235},
        {"1,234.49", true, 1234},
        {"1,234.5", true, 1235},
        {"0.49", true, 0},
        {"0.50", true, 1},
        {"1.5", false, 15},        // without a decimal part the point is not one
        {"1O,OOO", false, 10000},  // OCR letters for digits
        {"l2S", false, 125},
        {"B0.5O", true, 81},
        {"s", false, std::nullopt},  // lower-case s is not repaired
        {"", false, std::nullopt},
        {".5", true, std::nullopt},  // no integer part
        {"99999999999999999999", false, std::nullopt},
        {"9223372036854775807", false, std::numeric_limits<std::int64_t>::max()},
        {"9223372036854775807.5", true, std::nullopt},  // rounding up would overflow
    };
    for (const auto& c : cases)
        EXPECT_EQ(AmountExtractor::parseValue({c.value, false, false, c.decimals}), c.expected) << c.value;
}

TEST(AmountExtractor, AcceptsOneTo99999999) {
    struct Case {
        const char* line;
        std::optional<std::int64_t> amount;
    };
    const std::vector<Case> cases = {
        {"合計 99,999,999", 99'999'999},    {"合計 100,000,000", std::nullopt},
        {"合計 123,456,789", std::nullopt}, {"合計 0", std::nullopt},
        {"合計 0.49", std::nullopt},        {"合計 0.50", 1},
        {"合計 999999999", std::nullopt},   {"合計 1", 1},
    };
    for (const auto& c : cases) {
        const auto found = AmountExtractor::best(linesOf({c.line}));
        EXPECT_EQ(found ? std::optional(found->amount) : std::nullopt, c.amount) << c.line;
    }
}

// Which line's amount is the total, by its labels, its neighbours and its place; the weights are the
// extractor's own and not restated here.
TEST(AmountExtractor, LabelsAndNeighboursDecideTheTotal) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::int64_t best;
    } cases[] = {
        {"Grand Total over total", {"total 1,100", "Grand Total $1,000"}, 1000},
        {"合計金額 over 合計", {"合計 ¥1,100", "合計金額 ¥1,000"}, 1000},
        {"a subtotal is no total", {"小計 ¥1,000", "¥900"}, 900},
        {"nor change, points or a number", {"合計 ¥1,000", "お釣り ¥5,000", "P 2000", "No. 12345"}, 1000},
        {"a tax label that says included is a total", {"消費税込 ¥1,100", "2,000"}, 1100},
        {"full-width forms", {"¥2,000", "合計　￥１，２３４"}, 1234},
        {"a bare amount takes the label above", {"ご請求金額", "¥12,000-", "¥13,000"}, 12000},
        {"but not a tendered amount's", {"お預り", "¥2,000", "¥1,500"}, 1500},
        {"a receipt phrase up to five lines below", {"12,000", "a", "b", "c", "d", "上記", "15,000"}, 12000},
    };
    for (const auto& c : cases) {
        const auto best = AmountExtractor::best(linesOf(c.lines));
        EXPECT_EQ(best ? std::optional(best->amount) : std::nullopt, c.best) << c.name;
    }
    // Low on the page a labelled total gains a little; a place that is not finite counts as the top.
    for (const double top : {0.0, std::nan(""), std::numeric_limits<double>::infinity()}) {
        std::vector<TextLine> lines = linesOf({"合計 ¥1,100", "合計 ¥1,000"});
        lines[0].top = top;
        lines[1].top = 0.9;
        EXPECT_EQ(AmountExtractor::best(lines)->amount, 1000) << top;
    }
}

TEST(AmountExtractor, LooksLikeDateOrPhone) {
    struct Case {
        const char* line;
        const char* token;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"2024/01/15 12:30", "2024", true},
        {"2024/01/15 12:30", "1,000", false},
        {"2024年 12345", "12345", false},        // five characters are not short
        {"123456789.12", "123456789.12", true},  // ten characters or more without a comma
        {"1,234,567,890", "1,234,567,890", false},
        {"No 123456", "12", false},         // no date or time mark
        {"1/2 34", "1", false},             // five numbers are not more than five
        {"二〇二四年十二月 5", "5", true},  // kanji numerals are numbers too
    };
    for (const auto& c : cases)
        EXPECT_EQ(AmountExtractor::looksLikeDateOrPhone(c.line, c.token), c.expected)
            << c.line << " / " << c.token;
}

// Item counts, rates and a spaced 小　計 never win over the total.
TEST(AmountExtractor, CountsRatesAndSpacedSubtotalAreNoTotal) {
    const struct {
        const char* name;
        std::vector<std::string> lines;
        std::optional<std::int64_t> best;
    } cases[] = {
        {"合計点数 under a misread total", {"a 計 ¥5,120", "合計点数 6点"}, 5120},
        {"お買上点数 with the count on its own", {"お買上点数", "3点"}, std::nullopt},
        {"点数 without counter", {"点数 12", "¥1,280"}, 1280},
        {"a number followed by 点", {"ボールペン 6 点", "クレジット ¥980"}, 980},
        {"Total Qty", {"Total Qty: 3", "Cash 50.00"}, 50},
        {"Total Item(s)", {"Total Item(s): 10", "TOTAL 23.90"}, 24},
        {"a rate is no amount", {"軽減税率 8%", "お会計 ¥864"}, 864},
        {"a rate on a total line", {"TOTAL INCLUDES 6% GST", "Cash 5.30"}, 5},
        {"spaced subtotal beside a misread total", {"小 計 ¥1,200", "a 言十 ¥1,100"}, 1100},
    };
    for (const auto& c : cases) {
        const auto best = AmountExtractor::best(linesOf(c.lines));
        EXPECT_EQ(best ? std::optional<std::int64_t>(best->amount) : std::nullopt, c.best) << c.name;
    }
    // No count and no rate is a candidate at all; the spaced subtotal is scored as the subtotal is.
    EXPECT_FALSE(scoreOf({"合計点数 6点"}, 0, 6));
    EXPECT_FALSE(scoreOf({"消費税 8% ¥80"}, 0, 8));
    EXPECT_EQ(scoreOf({"小 計 ¥1,200"}, 0, 1200), scoreOf({"小計 ¥1,200"}, 0, 1200));
}

TEST(AmountExtractor, OrderAndChoice) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::vector<std::int64_t> order;  // amounts, best first
        std::optional<std::int64_t> best;
    };
    const std::vector<Case> cases = {
        {"nothing", {"レシート", ""}, {}, std::nullopt},
        {"labelled total first", {"小計 ¥1,000", "合計 ¥1,100"}, {1100, 1000}, 1100},
        {"no label: the largest plausible", {"¥5", "3,000"}, {5, 3000}, 3000},
        {"-20 takes no part", {"¥5", "800"}, {5, 800}, 5},
        {"none plausible: the first", {"800", "900"}, {900, 800}, 900},
        {"equal scores: the larger amount", {"¥300", "¥700"}, {700, 300}, 700},
    };
    for (const auto& c : cases) {
        const auto lines = linesOf(c.lines);
        const auto all = AmountExtractor::extract(lines);
        std::vector<std::int64_t> amounts;
        for (const auto& a : all) amounts.push_back(a.amount);
        EXPECT_EQ(amounts, c.order) << c.name;
        const auto chosen = AmountExtractor::best(lines);
        EXPECT_EQ(chosen ? std::optional(chosen->amount) : std::nullopt, c.best) << c.name;
        EXPECT_EQ(AmountExtractor::bestOf(all), chosen) << c.name;
    }
    // Ties keep line order.
    std::vector<std::int64_t> order;
    for (const auto& a :
         AmountExtractor::extract(linesOf({"a", "b", "c", "¥500", "d", "e", "f", "¥500", "¥500 ¥500"})))
        order.push_back(a.lineIndex);
    EXPECT_EQ(order, (std::vector<std::int64_t>{3, 7, 8, 8}));
}

// Labels unreadable: cash handed over, the change after it, and their difference printed twice above.
TEST(AmountExtractor, PaidLessChangeWithoutLabels) {
    const struct {
        std::vector<std::string> lines;
        std::int64_t best;
    } cases[] = {
        {{"pit 4846", "an 4,846", "nan 5,000", "お釣り 154"}, 4846},
        {{"an 4,846", "nan 5,000", "お釣り 154"}, 5000},                         // printed once: no evidence
        {{"ab 1,000", "cd 1,000", "ef 1,100", "(内消費税 100)"}, 1100},          // a tax row is no change
        {{"ab 1,000", "cd 1,000", "ef 1,100", "gh 2", "ij 3", "kl 100"}, 1100},  // too far below
        // Arithmetic outweighs a weak label (a yen sign alone), and a change row is never the total.
        {{"A = = AT ¥8,570", "a ¥8,570", "HRY ¥9,000", "お釣り ¥430"}, 8570},
        {{"ノート ¥2,990", "お釣り ¥5,972"}, 2990},
    };
    for (const auto& c : cases) {
        const auto chosen = AmountExtractor::best(linesOf(c.lines));
        ASSERT_TRUE(chosen);
        EXPECT_EQ(chosen->amount, c.best) << c.lines.front();
    }
    EXPECT_GE(AmountExtractor::best(linesOf(cases[0].lines))->score, 40);
}

TEST(AmountExtractor, CandidateRecordsTheNormalisedLine) {
    const auto lines = linesOf({"ご請求金額", "　￥１２，０００－　"}, 0.5);
    const auto found = AmountExtractor::best(lines);
    ASSERT_TRUE(found);
    EXPECT_EQ(*found, (ExtractedAmount{12000, 130, 1, "¥12,000-"}));
}

TEST(AmountExtractor, ArbitraryBytes) {
    const auto lines =
        linesOf({"\xff\xfe 合計 \xc3", "\xe3\x81", "¥1,000\xed\xa0\x80", std::string("1\0002", 3)});
    const auto all = AmountExtractor::extract(lines);
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front().amount, 1000);
    EXPECT_EQ(AmountExtractor::numericTokens("\xf4\x90\x80\x80"
                                             "12")
                  .size(),
              1u);
}

}  // namespace
}  // namespace tavori
