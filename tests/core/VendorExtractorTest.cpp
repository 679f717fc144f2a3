#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "TavoriCore/VendorExtractor.h"

namespace tavori {
namespace {

struct Placed {
    std::size_t index;
    std::string text;
    double top;
};

// A document of `count` lines; the lines not placed are digits only, which no pass takes up.
std::vector<TextLine> document(std::size_t count, const std::vector<Placed>& placed) {
    std::vector<TextLine> lines(count, TextLine{"1234", 0.9, 0, 0, 1.0, {}});
    for (const Placed& p : placed) lines[p.index] = TextLine{p.text, p.top, 0, 0, 1.0, {}};
    return lines;
}

std::vector<TextLine> linesOf(const std::vector<std::string>& texts) {
    std::vector<TextLine> lines;
    for (std::size_t i = 0; i < texts.size(); ++i) lines.push_back(TextLine{texts[i], 0.0, 0, 0, 1.0, {}});
    return lines;
}

std::optional<ExtractedVendor> candidateFrom(const std::vector<ExtractedVendor>& all, int lineIndex) {
    for (const auto& v : all)
        if (v.lineIndex == lineIndex) return v;
    return std::nullopt;
}

std::optional<ExtractedVendor> labelledCandidate(const std::vector<ExtractedVendor>& all) {
    for (const auto& v : all)
        if (v.score == 75) return v;
    return std::nullopt;
}

// Three lines of digits first and every line near the page bottom, so that no scored line reaches 75.
std::vector<TextLine> belowFiller(const std::vector<std::string>& texts) {
    std::vector<TextLine> lines(3, TextLine{"1234", 0.9, 0, 0, 1.0, {}});
    for (const auto& t : texts) lines.push_back(TextLine{t, 0.9, 0, 0, 1.0, {}});
    return lines;
}

const std::string k40 = "株式会社" + std::string(36, 'a');
const std::string k41 = "株式会社" + std::string(37, 'a');

TEST(VendorExtractor, ScoresOneLine) {
    struct Case {
        const char* name;
        std::string text;
        std::optional<int> score;  // absent: the line is not a candidate
        std::string cleaned = "";
    };
    // Line 5 of 10 at top 0.5: position 20, not among the first three lines.
    const std::vector<Case> cases = {
        {"plain name", "サンプル", 20},
        {"corporate marker", "サンプル商店", 55},
        {"known brand keeps +45 and escapes the excluded word", "ローソン 渋谷店 レジ2", 100},
        {"brand ignoring case", "AMAZON MARKETPLACE", 65},
        {"excluded word", "合計のお知らせ", -40},
        {"honorific 御中 cleaned away", "サンプル株式会社 御中", -105, "サンプル株式会社"},
        {"honorific 様", "山田太郎 様", -140, "山田太郎"},
        {"honorific not at the end", "様式サンプル", -40},
        {"three address markers", "大阪府大阪市北区梅田", -30},
        {"one address marker", "東京都サンプル", 20},
        {"colon", "サンプル:東京", 5},
        {"full-width colon normalised", "サンプル：東京", 5, "サンプル:東京"},
        {"25 characters", std::string("サンプル") + std::string(21, 'x'), 20},
        {"26 characters", std::string("サンプル") + std::string(22, 'x'), 10},
        {"40 characters still scored", k40, 45},
        {"41 characters skipped", k41, std::nullopt},
        {"41 characters of full-width input counted after normalising", "ＡＢ" + std::string(39, 'c'),
         std::nullopt},
        {"one character", "店", std::nullopt},
        {"one letter", "A1", std::nullopt},
        {"numbers above 0.3", "AB12", std::nullopt},
        {"numbers exactly 0.3", "ABCDEFG123", 20},
        {"kanji numerals count as numbers", "一二三四五六七八九十", std::nullopt},
        {"decorated name cleaned", "★サンプル★", 20, "サンプル"},
    };
    for (const auto& c : cases) {
        const auto all = VendorExtractor::extract(document(10, {{5, c.text, 0.5}}));
        const auto found = candidateFrom(all, 5);
        ASSERT_EQ(found.has_value(), c.score.has_value()) << c.name;
        if (!found) continue;
        EXPECT_EQ(found->score, *c.score) << c.name;
        EXPECT_EQ(found->name, c.cleaned.empty() ? VendorExtractor::clean(c.text) : c.cleaned) << c.name;
    }
}

TEST(VendorExtractor, PositionTerm) {
    struct Case {
        const char* name;
        std::size_t count;
        std::size_t index;
        double top;
        int score;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<Case> cases = {
        {"first line at the top", 10, 0, 0.0, 55},
        {"third line gets the head bonus", 10, 2, 0.0, 32 + 15},
        {"fourth line does not", 10, 3, 0.0, 28},
        {"top below the index fraction wins", 10, 3, 0.75, 10},
        {"index fraction above top wins", 4, 1, 0.1, 30 + 15},
        {"top past the page end", 10, 5, 1.7, 0},
        {"negative top falls back to the index", 10, 5, -3.0, 20},
        {"NaN top treated as 0", 10, 5, nan, 20},
        {"infinite top treated as 0", 10, 5, inf, 20},
        {"negative infinite top treated as 0", 10, 0, -inf, 55},
        {"truncated toward zero", 3, 1, 0.0, 26 + 15},
    };
    for (const auto& c : cases) {
        const auto all = VendorExtractor::extract(document(c.count, {{c.index, "サンプル", c.top}}));
        const auto found = candidateFrom(all, static_cast<int>(c.index));
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->score, c.score) << c.name;
    }
}

TEST(VendorExtractor, RegistrationNumberBelowRaisesOnce) {
    struct Case {
        const char* name;
        std::vector<Placed> below;
        int score;
    };
    const std::vector<Case> cases = {
        {"next line", {{6, "登録番号 T1234567890123", 0.5}}, 65},
        {"second line", {{7, "登録番号: T1234567890123", 0.5}}, 65},
        {"both lines, once", {{6, "登録番号", 0.5}, {7, "登録番号", 0.5}}, 65},
        {"third line is too far", {{8, "登録番号 T1234567890123", 0.5}}, 20},
        {"English, any case", {{6, "Registration No. T1234567890123", 0.5}}, 65},
        {"line above does not count", {{4, "登録番号 T1234567890123", 0.5}}, 20},
    };
    for (const auto& c : cases) {
        auto placed = c.below;
        placed.push_back({5, "サンプル", 0.5});
        const auto found = candidateFrom(VendorExtractor::extract(document(10, placed)), 5);
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->score, c.score) << c.name;
    }
}

TEST(VendorExtractor, LabelledIssuer) {
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::optional<ExtractedVendor> expected;  // the score-75 candidate, line index counted in `lines`
        std::optional<std::string> hint = std::nullopt;
    };
    const std::vector<Case> cases = {
        {"label, colon and code removed",
         {"販売店：ABC商店 コード: 1234"},
         ExtractedVendor{"ABC商店", 75, 0}},
        {"name on the next line",
         {"発行元：", "株式会社サンプル"},
         ExtractedVendor{"株式会社サンプル", 75, 1}},
        {"name three lines below",
         {"発行元", "1234", "5678", "株式会社サンプル"},
         ExtractedVendor{"株式会社サンプル", 75, 3}},
        {"four lines below is too far", {"発行元", "1", "2", "3", "株式会社サンプル"}, std::nullopt},
        {"English label ignoring case", {"SOLD BY: Example Store"}, ExtractedVendor{"Example Store", 75, 0}},
        {"first label of the list is located",
         {"販売者 販売店 サンプル商会"},
         ExtractedVendor{"販売店 サンプル商会", 75, 0}},
        {"line also naming the recipient", {"請求先 / 発行元：サンプル商店"}, std::nullopt},
        {"text after the label is an address",
         {"販売元: 大阪府大阪市北区", "サンプル商店"},
         ExtractedVendor{"サンプル商店", 75, 1}},
        {"recipient line below is passed over",
         {"発行元：", "山田太郎 様", "株式会社サンプル"},
         ExtractedVendor{"株式会社サンプル", 75, 2}},
        {"honorific after the label", {"発行元：サンプル 御中", "1234"}, std::nullopt},
        {"recipient hint", {"発行元：山田商事株式会社"}, std::nullopt, "山田商事"},
        {"hint given in full width", {"発行元：ABC商事株式会社"}, std::nullopt, "ＡＢＣ商事"},
        {"blank hint is no hint", {"発行元：ABC商事"}, ExtractedVendor{"ABC商事", 75, 0}, "　 "},
        {"40 characters", {"発行元：" + k40}, ExtractedVendor{k40, 75, 0}},
        {"41 characters", {"発行元：" + k41}, std::nullopt},
    };
    for (const auto& c : cases) {
        auto expected = c.expected;
        if (expected) expected->lineIndex += 3;
        EXPECT_EQ(labelledCandidate(VendorExtractor::extract(belowFiller(c.lines), c.hint)), expected)
            << c.name;
    }
}

TEST(VendorExtractor, RecipientHintInScoredLines) {
    struct Case {
        const char* name;
        std::optional<std::string> hint;
        int score;
    };
    const std::vector<Case> cases = {
        {"no hint", std::nullopt, 55},       {"empty hint", std::string(), 55},
        {"hint contained", "山田商事", -45}, {"hint with surrounding spaces", " 山田商事 ", -45},
        {"hint not contained", "佐藤", 55},
    };
    for (const auto& c : cases) {
        const auto found =
            candidateFrom(VendorExtractor::extract(document(10, {{5, "山田商事株式会社", 0.5}}), c.hint), 5);
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->score, c.score) << c.name;
    }
}

TEST(VendorExtractor, DuplicatesAndOrder) {
    struct Case {
        const char* name;
        std::vector<Placed> lines;
        std::vector<ExtractedVendor> expected;
    };
    const std::vector<Case> cases = {
        {"pass-2 line equal to an accepted label name is dropped",
         {{0, "発行元：", 0.0}, {1, "株式会社サンプル", 0.0}},
         {{"株式会社サンプル", 75, 1}, {"発行元", -20, 0}}},
        {"score 75 hides a later equal name",
         {{0, "サンプル商店:", 0.0}, {5, "サンプル商店", 0.5}},
         {{"サンプル商店", 75, 0}}},
        {"score 74 does not",
         {{0, "サンプル商店:", 0.02}, {5, "サンプル商店", 0.5}},
         {{"サンプル商店", 74, 0}, {"サンプル商店", 55, 5}}},
        {"label candidate before the same line's scored candidate",
         {{0, "店名：ABC商店", 0.0}},
         {{"ABC商店", 75, 0}, {"店名:ABC商店", 75, 0}}},
        {"equal scores by line index, higher score first",
         {{3, "サンプル", 0.5}, {4, "テスト", 0.5}, {6, "サンプル商店", 0.5}},
         {{"サンプル商店", 51, 6}, {"サンプル", 20, 3}, {"テスト", 20, 4}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VendorExtractor::extract(document(10, c.lines)), c.expected) << c.name;
}

TEST(VendorExtractor, EmptyAndBest) {
    EXPECT_TRUE(VendorExtractor::extract({}).empty());
    EXPECT_EQ(VendorExtractor::best({}), std::nullopt);
    EXPECT_EQ(VendorExtractor::best(document(4, {})), std::nullopt);
    const auto lines = linesOf({"ファミリーマート", "渋谷道玄坂店", "東京都渋谷区道玄坂2-10-7",
                                "電話:03-1234-5678", "登録番号 T1234567890123", "領収書", "合計 ¥1,619"});
    const auto best = VendorExtractor::best(lines);
    ASSERT_TRUE(best);
    EXPECT_EQ(best->name, "ファミリーマート");
    EXPECT_EQ(*best, VendorExtractor::extract(lines).front());
}

TEST(VendorExtractor, Clean) {
    struct Case {
        const char* input;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"  ABC商店  ", "ABC商店"},
        {"★ABC商店★", "ABC商店"},
        {"・・ABC商店：", "ABC商店"},
        {"- ■ ABC商店 * -", "ABC商店"},
        {"ABC商店 領収書", "ABC商店"},
        {"ABC 領収書 様", "ABC 領収書"},
        {"ABC様 御中", "ABC"},
        {"ABC 殿", "ABC"},
        {"ABC様\u0301", "ABC様\u0301"},  // the last character is not "様"
        {"ABC\uF9B4収書", "ABC"},        // compatibility form of 領 is canonically 領
        {"様式", "様式"},
        {"領収書", ""},
        {"", ""},
        {"\t ", ""},
        {"ABC\u3000商店", "ABC\u3000商店"},
    };
    for (const auto& c : cases) EXPECT_EQ(VendorExtractor::clean(c.input), c.expected) << c.input;
}

TEST(VendorExtractor, LooksLikeName) {
    struct Case {
        const char* input;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"ABC商店", true},
        {"", false},
        {"A", false},
        {"ABC1", true},      // numbers exactly 0.25
        {"ABCDE12", false},  // 2 of 7
        {"東京都サンプル", true},
        {"大阪府大阪市北区梅田", false},
        {"市市", true},  // one marker twice is still one marker
        {"サンプル TEL", false},
        {"2024年サンプル", false},
        {"サンプル〒", false},
        {"お客様サンプル", false},
        {"Bill To Example", false},
        {"bill to example", true},  // the label test is case-sensitive
    };
    for (const auto& c : cases) EXPECT_EQ(VendorExtractor::looksLikeName(c.input), c.expected) << c.input;
}

TEST(VendorExtractor, IsTitleLike) {
    struct Case {
        const char* input;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"領収書", true},   {"Amazon 領収書", false}, {"AMAZON レシート", false},
        {"ABC商店", false}, {"お買上げ明細", true},   {"receipt", false},
        {"Receipt", true},  {"ｺｰﾄﾞ", true},           {"ｺｰﾄ", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(VendorExtractor::isTitleLike(c.input), c.expected) << c.input;
}

}  // namespace
}  // namespace tavori
