#include <gtest/gtest.h>

#include "TavoriCore/Unicode.h"

namespace tavori {
namespace {

TEST(Unicode, ContainsUnderCanonicalEquivalence) {
    struct Case {
        const char* haystack;
        const char* needle;
        bool expected;
    };
    const std::vector<Case> cases = {
        {"ガス代", "ガス", true},
        {"カ\u3099ス代", "ガス", true},        // decomposed voiced mark equals the composed letter
        {"cafe\u0301", "cafe", false},        // "é" is one character; "e" alone is not in it
        {"café latte", "cafe\u0301", true},
        {"abc", "", true},
        {"", "a", false},
        {"\xff" "abc", "abc", true},
    };
    for (const auto& c : cases) EXPECT_EQ(Unicode::contains(c.haystack, c.needle), c.expected) << c.haystack << " / " << c.needle;
}

TEST(Unicode, ContainsIgnoringCase) {
    EXPECT_TRUE(Unicode::containsIgnoringCase("TOTAL AMOUNT", "total"));
    EXPECT_TRUE(Unicode::containsIgnoringCase("Straße", "STRASSE") || Unicode::containsIgnoringCase("straße", "STRAßE"));
    EXPECT_TRUE(Unicode::containsIgnoringCase("ÉTÉ", "été"));
    EXPECT_FALSE(Unicode::containsIgnoringCase("invoice", "invoices"));
}

TEST(Unicode, CharacterCountsAreGraphemeClusters) {
    struct Case {
        const char* text;
        std::size_t count;
    };
    const std::vector<Case> cases = {
        {"", 0}, {"abc", 3}, {"請求書", 3}, {"カ\u3099", 1}, {"👨‍👩‍👧", 1}, {"🇯🇵", 1}, {"\r\n", 1}, {"\xff\xfe", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(Unicode::characterCount(c.text), c.count) << c.text;
    EXPECT_EQ(Unicode::prefixCharacters("株式会社👨‍👩‍👧abc", 5), "株式会社👨‍👩‍👧");
}

TEST(Unicode, LetterAndNumberByFirstScalar) {
    struct Case {
        const char* character;
        bool letter;
        bool number;
    };
    const std::vector<Case> cases = {
        {"a", true, false}, {"漢", true, false}, {"カ", true, false}, {"7", false, true}, {"７", false, true},
        {"三", true, true}, {"Ⅻ", true, true}, {"½", false, true}, {"-", false, false}, {"", false, false},
        {"ー", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Unicode::isLetter(std::string_view(c.character)), c.letter) << c.character;
        EXPECT_EQ(Unicode::isNumber(std::string_view(c.character)), c.number) << c.character;
    }
}

TEST(Unicode, TrimRemovesSpaceSeparatorsAndTabsOnly) {
    EXPECT_EQ(Unicode::trim(" \t\u3000\u00a0abc d\u2003 "), "abc d");
    EXPECT_EQ(Unicode::trim("\nabc\n"), "\nabc\n");
    EXPECT_EQ(Unicode::trim("   "), "");
}

TEST(Unicode, PrefixWithinBytesKeepsWholeCharacters) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t maxBytes;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"fits", "abc", 3, "abc"},
        {"kanji not split", "漢字", 5, "漢"},
        {"voiced mark stays with its kana", "か\u3099き", 5, ""},
        {"voiced kana then the next", "か\u3099き", 8, "か\u3099"},
        {"flag not split", "🇯🇵🇯🇵", 12, "🇯🇵"},
        {"CR LF is one character", "a\r\nb", 2, "a"},
        {"nothing fits", "漢", 2, ""},
        {"invalid bytes kept and cut between sequences", "\xe3\x81\xe3\x81x", 3, "\xe3\x81"},
        {"invalid then valid", "\xff漢字", 5, "\xff漢"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Unicode::prefixWithinBytes(c.text, c.maxBytes), c.expected) << c.name;
}

TEST(Unicode, WhiteSpaceIsTheRegexClass) {
    for (char32_t c : {U' ', U'\t', U'\n', U'\r', U'\u00a0', U'\u3000', U'\u2028', U'\u0085'})
        EXPECT_TRUE(Unicode::isWhiteSpace(c)) << static_cast<std::uint32_t>(c);
    for (char32_t c : {U'a', U'\u200b', U'\uFFFD', U'_'})
        EXPECT_FALSE(Unicode::isWhiteSpace(c)) << static_cast<std::uint32_t>(c);
}

TEST(Unicode, InvalidBytesBecomeReplacementCharacters) {
    EXPECT_EQ(Unicode::toValidUtf8("a\xc3(b"), "a\uFFFD(b");
    EXPECT_EQ(Unicode::toValidUtf8("ok \uFFFD"), "ok \uFFFD");
    EXPECT_EQ(Unicode::toValidUtf8("\xed\xa0\x80"), "\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
}

}  // namespace
}  // namespace tavori
