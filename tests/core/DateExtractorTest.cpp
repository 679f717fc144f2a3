#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "TavoriCore/DateExtractor.h"

namespace tavori {
namespace {

using DateExtractor::Candidate;

TEST(DateExtractor, CandidatesOfOneText) {
    struct Case {
        const char* text;
        std::vector<Candidate> expected;
    };
    const std::vector<Case> cases = {
        {"令和元年5月1日", {{{2019, 5, 1}, 50, "令和元年5月1日"}}},
        {"R6.1.15", {{{2024, 1, 15}, 50, "R6.1.15"}}},
        {"平成31年4月30日", {{{2019, 4, 30}, 50, "平成31年4月30日"}}},
        {"平成元年1月8日", {}},  // 1989 is below the lower limit
        {"H1.5.1", {}},
        {"r6.1.15", {}},           // era letters are case-sensitive
        {"WRBUBERESR2-2-10", {}},  // and start a word
        {"TEL:R2-2-10", {{{2020, 2, 10}, 50, "R2-2-10"}}},
        {"2024年1月15日", {{{2024, 1, 15}, 50, "2024年1月15日"}}},
        {"2024 年 1 月 15 日", {{{2024, 1, 15}, 50, "2024 年 1 月 15 日"}}},
        {"2024.01.15", {{{2024, 1, 15}, 50, "2024.01.15"}}},
        {"2024-01-15 10:30",
         {{{2024, 1, 15}, 50, "2024-01-15 "}}},  // the optional space before 日 is matched
        {"12024/01/15", {}},                     // a longer digit run is no year
        {"2O24/O1/15", {{{2024, 1, 15}, 50, "2024/01/15"}}},
        {"2o24年o1月15日", {{{2024, 1, 15}, 50, "2024年01月15日"}}},
        {"TOKYO 2024/1/5", {{{2024, 1, 5}, 50, "2024/1/5"}}},
        {"Jan 5, 2024", {{{2024, 1, 5}, 45, "Jan 5, 2024"}}},
        {"Sept. 5, 2024", {{{2024, 9, 5}, 45, "Sept. 5, 2024"}}},
        {"5 Jan 2024", {{{2024, 1, 5}, 45, "5 Jan 2024"}}},
        {"5 January, 2024", {{{2024, 1, 5}, 45, "5 January, 2024"}}},
        {"JAN 5, 2024", {}},
        // Full-year dates suppress the fallback forms of the same text; invalid ones do not.
        {"2024/01/15 24/01/20", {{{2024, 1, 15}, 50, "2024/01/15 "}}},
        {"2024/02/30 24/01/20", {{{2024, 1, 20}, 30, "24/01/20"}}},
        {"24/01/20", {{{2024, 1, 20}, 30, "24/01/20"}}},
        {"15/01/05", {{{2015, 1, 5}, 30, "15/01/05"}}},
        {"14/01/05", {}},
        {"24/01/20/", {}},
        {"24年1月5日", {{{2024, 1, 5}, 35, "24年1月5日"}}},
        {"40年1月5日", {{{2040, 1, 5}, 35, "40年1月5日"}}},
        {"41年1月5日", {}},
        {"20240115", {{{2024, 1, 15}, 20, "20240115"}}},
        {"120240115", {}},
        {"24/01/20 20240301", {{{2024, 1, 20}, 30, "24/01/20"}, {{2024, 3, 1}, 20, "20240301"}}},
        {"2024/02/29", {{{2024, 2, 29}, 50, "2024/02/29"}}},
        {"2023/02/29", {}},
        {"2100/12/31", {}},  // written years are 19xx or 20xx; only an era year reaches 2100
        {"令和82年12月31日", {{{2100, 12, 31}, 50, "令和82年12月31日"}}},
        {"令和83年1月1日", {}},
        {"平成2年1月1日", {{{1990, 1, 1}, 50, "平成2年1月1日"}}},
        // Pattern order first, text order within a pattern.
        {"2024/03/01 令和6年2月1日",
         {{{2024, 2, 1}, 50, "令和6年2月1日"}, {{2024, 3, 1}, 50, "2024/03/01 "}}},
        {"2024/01/15~2024/02/15", {{{2024, 1, 15}, 50, "2024/01/15"}, {{2024, 2, 15}, 50, "2024/02/15"}}},
        // Digits of other scripts match "\d" but are no ASCII number: the candidate is dropped, not read as
        // 0.
        {"٢٤年1月5日", {}},
        {"令和٦年1月5日", {}},
        {"2024/١/15", {}},
        {"\xff\xfe 2024/01/15", {{{2024, 1, 15}, 50, "2024/01/15"}}},
    };
    for (const auto& c : cases) EXPECT_EQ(DateExtractor::candidates(c.text), c.expected) << c.text;
}

TEST(DateExtractor, SlashedZerosReadAsSixOrNine) {
    struct Case {
        const char* text;
        std::vector<Candidate> expected;
    };
    const int repaired = 50 - DateExtractor::repairedDigitsPenalty;
    const std::vector<Case> cases = {
        {"2619年12月15日(土)", {{{2019, 12, 15}, repaired, "2619年12月15日", true}}},
        {"2922/06/17(金) 08:22", {{{2022, 6, 17}, repaired, "2922/06/17", true}}},
        {"2024年98月24日", {{{2024, 8, 24}, repaired, "2024年98月24日", true}}},
        {"2020/07/94(土)", {{{2020, 7, 4}, repaired, "2020/07/94", true}}},
        {"2022/66/22", {{{2022, 6, 22}, repaired, "2022/66/22", true}}},
        // A zero read as two characters.
        {"2019年01月605日", {{{2019, 1, 5}, repaired, "2019年01月605日", true}}},
        {"2619年11月96日", {{{2019, 11, 6}, repaired, "2619年11月96日", true}}},
        // Possible as read: left alone, even where a 6 may have been a zero.
        {"2019/06/16", {{{2019, 6, 16}, 50, "2019/06/16"}}},
        // A date printed plainly on the line wins; nothing is repaired.
        {"2024/01/15 2024/01/96", {{{2024, 1, 15}, 50, "2024/01/15 "}}},
        // Nothing that a slashed zero explains.
        {"2024/13/45", {}},
        {"0120-966-123", {}},
        {"1234-56-78", {}},
        {"2019/02/39", {}},  // 30 is no day of February
    };
    for (const auto& c : cases) EXPECT_EQ(DateExtractor::candidates(c.text), c.expected) << c.text;
}

std::vector<TextLine> linesOf(const std::vector<std::pair<std::string, double>>& rows) {
    std::vector<TextLine> out;
    for (const auto& [text, top] : rows) out.push_back(TextLine{text, top, 0, 0, 1.0, {}});
    return out;
}

TEST(DateExtractor, OrderOfCandidates) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, double>> lines;
        std::vector<ExtractedDate> expected;
    };
    const std::vector<Case> cases = {
        {"higher score first, ties by line index",
         {{"2024/01/10", 0.5}, {"2024/01/11", 0.25}, {"取引日 2024/01/12", 0.95}},
         {{{2024, 1, 12}, 111, 2, "2024/01/12", false},
          {{2024, 1, 10}, 65, 0, "2024/01/10", false},
          {{2024, 1, 11}, 65, 1, "2024/01/11", false}}},
        {"equal scores on one line keep pattern then text order",
         {{"-", 0}, {"2024/03/01 令和6年2月1日 2024/01/01", 0.5}},
         {{{2024, 2, 1}, 60, 1, "令和6年2月1日", false},
          {{2024, 3, 1}, 60, 1, "2024/03/01 ", false},
          {{2024, 1, 1}, 60, 1, "2024/01/01", false}}},
        {"no de-duplication across lines",
         {{"-", 0}, {"2024/01/15", 0.5}, {"2024/01/15", 0.5}},
         {{{2024, 1, 15}, 60, 1, "2024/01/15", false}, {{2024, 1, 15}, 60, 2, "2024/01/15", false}}},
        {"fallback decided per line",
         {{"-", 0}, {"2024/01/15", 0.5}, {"24/01/20", 0}},
         {{{2024, 1, 15}, 60, 1, "2024/01/15", false}, {{2024, 1, 20}, 50, 2, "24/01/20", true}}},
        {"a deadline sinks below an unlabelled date",
         {{"支払期限 2024/02/29", 0}, {"2024/01/31", 1}},
         {{{2024, 1, 31}, 50, 1, "2024/01/31", false}, {{2024, 2, 29}, -85, 0, "2024/02/29", false}}},
    };
    for (const auto& c : cases) {
        const auto lines = linesOf(c.lines);
        EXPECT_EQ(DateExtractor::extract(lines), c.expected) << c.name;
        const auto first = DateExtractor::best(lines);
        ASSERT_TRUE(first.has_value()) << c.name;
        EXPECT_EQ(*first, c.expected.front()) << c.name;
    }
    // The same date on two lines is one date but two candidates.
    const auto repeated = DateExtractor::extract(linesOf({{"2024/01/15", 0.5}, {"2024/01/15", 0.5}}));
    ASSERT_EQ(repeated.size(), 2u);
    EXPECT_EQ(repeated[0].date, repeated[1].date);
    EXPECT_NE(repeated[0], repeated[1]);
    EXPECT_EQ(DateExtractor::best({}), std::nullopt);
    EXPECT_EQ(DateExtractor::best(linesOf({{"合計 ¥1,200", 0}, {"TEL 03-1234-5678", 0}})), std::nullopt);
}

// Which date is the document's, by its labels, its place and its form; the weights are the extractor's own.
TEST(DateExtractor, LabelsPlaceAndFormDecideWhichDateWins) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, double>> lines;
        DateComponentsValue best;
    };
    const std::vector<Case> cases = {
        {"higher on the page", {{"2024/01/10", 0.9}, {"2024/01/11", 0.1}}, {2024, 1, 11}},
        {"a place that is no number is the top",
         {{"-", 0}, {"2024/01/10", 0.2}, {"2024/01/11", nan}},
         {2024, 1, 11}},
        {"so is an infinite one", {{"-", 0}, {"2024/01/10", 0.2}, {"2024/01/11", inf}}, {2024, 1, 11}},
        {"a label over the place", {{"2024/01/10", 0}, {"ご利用日 2024/01/15", 0.9}}, {2024, 1, 15}},
        {"English label, any case", {{"2024/01/10", 0}, {"INVOICE DATE Jan 5, 2024", 0.9}}, {2024, 1, 5}},
        {"full-width label", {{"2024/01/10", 0}, {"ＤＡＴＥ ２０２４／０１／１５", 0.9}}, {2024, 1, 15}},
        {"decomposed kana label", {{"2024/01/10", 0}, {"こ\u3099利用日 2024/01/15", 0.9}}, {2024, 1, 15}},
        {"a label counts on its own line only",
         {{"-", 0}, {"2024/01/10", 0.5}, {"領収日", 0.5}, {"2024/01/15", 0.5}},
         {2024, 1, 10}},
        {"a deadline loses", {{"お支払期限 2024/02/29", 0}, {"2024/01/31", 1}}, {2024, 1, 31}},
        {"DUE in any case", {{"Due 2024/02/29", 0}, {"2024/01/31", 1}}, {2024, 1, 31}},
        {"a validity date despite its label",
         {{"Date valid: 2024/12/31", 0}, {"2024/01/31", 1}},
         {2024, 1, 31}},
        {"a two-digit year loses to a full one", {{"24/01/20", 0}, {"2024/01/15", 0.5}}, {2024, 1, 15}},
        {"a compact date to a written one", {{"20240120", 0}, {"2024/01/15", 0.5}}, {2024, 1, 15}},
    };
    for (const auto& c : cases) {
        const auto best = DateExtractor::best(linesOf(c.lines));
        ASSERT_TRUE(best) << c.name;
        EXPECT_EQ(best->date, c.best) << c.name;
    }
    EXPECT_TRUE(DateExtractor::best(linesOf({{"24年1月5日", 0.5}}))->isTwoDigitYear);
}

TEST(DateExtractor, WesternizeEras) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"令和6年1月5日", "2024年1月5日"},
        {"R6.1.5", "2024年1月5日"},
        {"H31/4/30", "2019年4月30日"},
        {"令和06年01月05日", "2024年1月5日"},
        {"発行日 令和6年13月1日", "発行日 令和6年13月1日"},
        {"平成元年1月8日", "平成元年1月8日"},
        {"令和元年5月1日と平成30年12月31日の間", "2019年5月1日と2018年12月31日の間"},
        {"R6.13.1 R6.1.5 end", "R6.13.1 2024年1月5日 end"},  // the space after the date stays
        {"R6.1.5　合計", "2024年1月5日　合計"},
        {"令和6年1月5日 合計", "2024年1月5日 合計"},
        {"令和６年１月５日", "令和６年１月５日"},  // text as given: full-width digits are not read
        {"R6.1.O5", "R6.1.O5"},                    // and no zero repair
        {"2024/01/05 only", "2024/01/05 only"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(DateExtractor::westernizeEras(c.text), c.expected) << c.text;
}

TEST(DateExtractor, MonthNumber) {
    struct Case {
        const char* name;
        int expected;
    };
    const std::vector<Case> cases = {
        {"Jan", 1}, {"january", 1}, {"SEPTEMBER", 9}, {"Sept", 9},   {"decimal", 12},
        {"Ja", 0},  {"", 0},        {"Foo", 0},       {"ｊａｎ", 0}, {"jan\u0301", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(DateExtractor::monthNumber(c.name), c.expected) << c.name;
}

}  // namespace
}  // namespace tavori
