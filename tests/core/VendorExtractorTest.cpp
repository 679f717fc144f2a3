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

TEST(VendorExtractor, WhichLinesAreCandidatesAndTheirNames) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::string text;
        std::optional<std::string> name;  // absent: the line is no candidate
        double top = 0.5;
    };
    const std::vector<Case> cases = {
        {"サンプル株式会社 御中", "サンプル株式会社"},
        {"山田太郎 様", "山田太郎"},
        {"★サンプル★", "サンプル"},
        {"サンプル：東京", "サンプル:東京"},
        {k40, k40},
        {k41, std::nullopt},
        {"ＡＢ" + std::string(39, 'c'), std::nullopt},  // 41 characters once normalised
        {"店", std::nullopt},
        {"A1", std::nullopt},
        {"AB12", std::nullopt},  // numbers above 0.3
        {"ABCDEFG123", "ABCDEFG123"},
        {"一二三四五六七八九十", std::nullopt},  // kanji numerals are numbers
        {"サンプル", "サンプル", nan},
        {"サンプル", "サンプル", std::numeric_limits<double>::infinity()},
    };
    for (const auto& c : cases) {
        const auto found = candidateFrom(VendorExtractor::extract(document(10, {{5, c.text, c.top}})), 5);
        EXPECT_EQ(found ? std::optional(found->name) : std::nullopt, c.name) << c.text;
    }
}

// Which line names the vendor, by its words, its length and what stands below it; the weights are the
// extractor's own.
TEST(VendorExtractor, WordsAndNeighboursDecideTheVendor) {
    const std::string number = "登録番号 T1234567890123";
    struct Case {
        const char* name;
        std::vector<Placed> lines;
        std::string best;
        std::optional<std::string> hint = std::nullopt;
    };
    const std::vector<Case> cases = {
        {"a corporate marker", {{5, "サンプル", 0.5}, {6, "テスト商店", 0.5}}, "テスト商店"},
        {"a known brand, whatever its case",
         {{5, "サンプル商店", 0.5}, {6, "AMAZON MARKETPLACE", 0.5}},
         "AMAZON MARKETPLACE"},
        {"a brand escapes the excluded words",
         {{5, "サンプル商店", 0.5}, {6, "ローソン 渋谷店 レジ2", 0.5}},
         "ローソン 渋谷店 レジ2"},
        {"an excluded word", {{5, "合計のお知らせ", 0.5}, {6, "テスト", 0.5}}, "テスト"},
        {"an honorific", {{5, "山田太郎 様", 0.5}, {6, "テスト", 0.5}}, "テスト"},
        {"an address", {{5, "大阪府大阪市北区梅田", 0.5}, {6, "テスト", 0.5}}, "テスト"},
        {"one address marker is no address",
         {{5, "東京都サンプル", 0.5}, {6, "テスト", 0.5}},
         "東京都サンプル"},
        {"a colon", {{5, "サンプル:東京", 0.5}, {6, "テスト", 0.5}}, "テスト"},
        {"more than 25 characters",
         {{5, "サンプル" + std::string(22, 'x'), 0.5}, {6, "テスト", 0.5}},
         "テスト"},
        {"the first lines", {{2, "サンプル", 0.0}, {3, "テスト", 0.0}}, "サンプル"},
        {"a registration number on the next line",
         {{4, "サンプル", 0.5}, {6, "テスト", 0.5}, {7, number, 0.5}},
         "テスト"},
        {"or the one after",
         {{5, "サンプル", 0.5}, {6, "テスト", 0.5}, {8, "Registration No. T1234567890123", 0.5}},
         "テスト"},
        {"not further", {{5, "サンプル", 0.5}, {6, "テスト", 0.5}, {9, number, 0.5}}, "サンプル"},
        {"the recipient's name", {{5, "山田商事株式会社", 0.5}, {6, "テスト", 0.5}}, "テスト", " 山田商事 "},
        {"another recipient", {{5, "山田商事株式会社", 0.5}, {6, "テスト", 0.5}}, "山田商事株式会社", "佐藤"},
        {"no recipient", {{5, "山田商事株式会社", 0.5}, {6, "テスト", 0.5}}, "山田商事株式会社", ""},
    };
    for (const auto& c : cases) {
        const auto best = VendorExtractor::best(document(10, c.lines), c.hint);
        EXPECT_EQ(best ? best->name : "(none)", c.best) << c.name;
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
        {"English label inside a sentence", {"Notes: Removed debris from case"}, std::nullopt},
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
