#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "TavoriCore/Pattern.h"

namespace tavori {
namespace {

TEST(Pattern, AbsentGroupsAndGroupNumbering) {
    const Pattern p("(a)|(b)");
    const auto m = p.matches("b");
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].groups, (std::vector<std::optional<std::string>>{std::nullopt, "b"}));
    EXPECT_EQ(m[0].group(1), "");
    EXPECT_EQ(m[0].group(2), "b");
    EXPECT_EQ(m[0].group(0), "");
    EXPECT_EQ(m[0].group(3), "");
    EXPECT_EQ(m[0].group(-1), "");
    EXPECT_TRUE(Pattern("\\d+").matches("abc").empty());
}

TEST(Pattern, ByteRangesSliceTheUtf8Text) {
    const std::string text = "合計 ¥1,980 😀 税込 2,178円";
    const Pattern p("[\\d,]+");
    const auto m = p.matches(text);
    ASSERT_EQ(m.size(), 2u);
    for (const auto& match : m)
        EXPECT_EQ(text.substr(match.range.begin, match.range.end - match.range.begin), match.full);
    EXPECT_EQ(m[0].full, "1,980");
    EXPECT_EQ(m[1].full, "2,178");
    EXPECT_EQ(p.replacingMatches(text, "#"), "合計 ¥# 😀 税込 #円");
}

TEST(Pattern, IcuSyntaxTheExtractorsRelyOn) {
    struct Case {
        const char* pattern;
        const char* text;
        std::vector<std::string> fulls;
    };
    const std::vector<Case> cases = {
        {"(?i)total", "TOTAL Total", {"TOTAL", "Total"}},
        {"(?<=[\\d年])[Oo]", "2O24年O1", {"O", "O"}},
        {"[Oo](?=\\d)", "O1 Ox", {"O"}},
        {"(?<!\\d)\\d{2}(?!\\d)", "123 45 6", {"45"}},
        {"\\d+", "１２３", {"１２３"}},
        {"a\\sb", "a\u3000b", {"a\u3000b"}},
        {"x*", "ab", {"", "", ""}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> fulls;
        for (const auto& m : Pattern(c.pattern).matches(c.text)) fulls.push_back(m.full);
        EXPECT_EQ(fulls, c.fulls) << c.pattern << " on " << c.text;
    }
}

TEST(Pattern, InvalidUtf8IsSearchedAsReplacementCharacters) {
    const Pattern p("\\d+");
    const Unicode::Text text(
        "\xff"
        "12\xe3\x81"
        "34");
    const auto m = p.matches(text);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].full, "34");
    EXPECT_EQ(text.utf8().substr(m[1].range.begin, 2), "34");
}

TEST(Pattern, OneConstantMatchedFromManyThreads) {
    static const Pattern p("(\\d{4})/(\\d{1,2})/(\\d{1,2})");
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            for (int i = 0; i < 2000; ++i) {
                const std::string text =
                    "日付 20" + std::to_string(10 + t) + "/" + std::to_string(1 + i % 12) + "/5";
                const auto m = p.matches(text);
                if (m.size() != 1 || m[0].group(1) != "20" + std::to_string(10 + t)) ++failures[t];
            }
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures, (std::vector<int>(4, 0)));
}

TEST(PatternDeathTest, InvalidConstantAbortsNamingTheFile) {
    EXPECT_DEATH({ Pattern p("(unclosed"); }, "TavoriCore/Pattern");
}

}  // namespace
}  // namespace tavori
