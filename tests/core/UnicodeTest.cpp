#include <gtest/gtest.h>

#include <unicode/uloc.h>

#include "TavoriCore/Unicode.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>

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
        {"カ\u3099ス代", "ガス", true},  // decomposed voiced mark equals the composed letter
        {"cafe\u0301", "cafe", false},   // "é" is one character; "e" alone is not in it
        {"café latte", "cafe\u0301", true},
        {"abc", "", true},
        {"", "a", false},
        {"\xff"
         "abc",
         "abc", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Unicode::contains(c.haystack, c.needle), c.expected) << c.haystack << " / " << c.needle;
}

TEST(Unicode, ContainsIgnoringCase) {
    EXPECT_TRUE(Unicode::containsIgnoringCase("TOTAL AMOUNT", "total"));
    EXPECT_TRUE(Unicode::containsIgnoringCase("Straße", "STRASSE") ||
                Unicode::containsIgnoringCase("straße", "STRAßE"));
    EXPECT_TRUE(Unicode::containsIgnoringCase("ÉTÉ", "été"));
    EXPECT_FALSE(Unicode::containsIgnoringCase("invoice", "invoices"));
}

TEST(Unicode, CharacterCountsAreGraphemeClusters) {
    struct Case {
        const char* text;
        std::size_t count;
    };
    const std::vector<Case> cases = {
        {"", 0},   {"abc", 3},  {"請求書", 3},   {"カ\u3099", 1}, {"👨‍👩‍👧", 1},
        {"🇯🇵", 1}, {"\r\n", 1}, {"\xff\xfe", 2},
    };
    for (const auto& c : cases) EXPECT_EQ(Unicode::characterCount(c.text), c.count) << c.text;
    EXPECT_EQ(Unicode::prefixCharacters("株式会社👨‍👩‍👧abc", 5),
              "株式会社👨‍👩‍👧");
}

TEST(Unicode, CharacterWindows) {
    struct Case {
        const char* text;
        std::string prefix3;
        std::string suffix3;
        std::size_t firstScalars;
    };
    const std::vector<Case> cases = {
        {"", "", "", 0},
        {"ab", "ab", "ab", 2},
        {"合計 ¥1,234", "合計 ", "234", 9},
        {"a\u0301bc\u0301d", "a\u0301bc\u0301", "bc\u0301d", 4},
        {"\r\nxy\r\n", "\r\nxy", "xy\r\n", 4},
        {"🇯🇵🇯🇵x👨‍👩‍👧", "🇯🇵🇯🇵x", "🇯🇵x👨‍👩‍👧", 4},
        {"\xff"
         "ab",
         "\uFFFDab", "\uFFFDab", 3},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Unicode::prefixCharacters(c.text, 3), c.prefix3) << c.text;
        EXPECT_EQ(Unicode::suffixCharacters(c.text, 3), c.suffix3) << c.text;
        EXPECT_EQ(Unicode::firstScalars(c.text).size(), c.firstScalars) << c.text;
        EXPECT_EQ(Unicode::firstScalars(c.text).size(), Unicode::characterCount(c.text)) << c.text;
    }
    EXPECT_EQ(Unicode::firstScalars("a\u0301b"), (std::vector<char32_t>{U'a', U'b'}));
}

TEST(Unicode, PreparedFormsAndSearch) {
    // The one-pass form must equal lower-casing then NFC, and say "already prepared" only when it is.
    for (const char* s :
         {"abc", "ABC", "合計 ¥1,000", "Total ＡＢ", "カ\u3099", "ガ", "ΣΑΣ", "İ", "Å", "\xff", "ｺｰﾄﾞ"}) {
        const std::string expected = Unicode::nfc(Unicode::lowercased(s));
        EXPECT_EQ(Unicode::lowercasedNfc(s), expected) << s;
        EXPECT_EQ(Unicode::isLowercasedNfc(s), expected == s && Unicode::toValidUtf8(s) == s) << s;
    }
    EXPECT_EQ(Unicode::findPrepared("ab合計合計", "合計"), 2u);
    EXPECT_EQ(Unicode::findPrepared("cafe\u0301 cafe", "cafe"), 7u);  // the first "cafe" is "café"
    EXPECT_EQ(Unicode::findPrepared("abc", "x"), std::string_view::npos);
}

// The trait table is built from ICU's property ranges; every BMP scalar must read as ICU answers for it.
TEST(Unicode, TraitTableAgreesWithIcu) {
    for (char32_t c = 0; c <= 0x10FFFF; c = c < 0xFFFF ? c + 1 : c + 0x101) {
        const auto u = static_cast<UChar32>(c);
        const auto gcb = u_getIntPropertyValue(u, UCHAR_GRAPHEME_CLUSTER_BREAK);
        const bool settled = u_getIntPropertyValue(u, UCHAR_NFC_QUICK_CHECK) == UNORM_YES &&
                             u_getCombiningClass(u) == 0 &&
                             !u_hasBinaryProperty(u, UCHAR_CHANGES_WHEN_LOWERCASED);
        const bool own = gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_LF;
        const bool keptByNfc =
            u_getIntPropertyValue(u, UCHAR_NFC_QUICK_CHECK) == UNORM_YES && u_getCombiningClass(u) == 0;
        const std::uint8_t expected =
            (u_charType(u) == U_DECIMAL_DIGIT_NUMBER ? Unicode::Trait::decimalDigit : 0) |
            (u_hasBinaryProperty(u, UCHAR_ALPHABETIC) ? Unicode::Trait::letter : 0) |
            (u_getIntPropertyValue(u, UCHAR_NUMERIC_TYPE) != U_NT_NONE ? Unicode::Trait::number : 0) |
            (own ? Unicode::Trait::ownCharacter : 0) | (settled ? Unicode::Trait::lowercasedNfc : 0) |
            (u_hasBinaryProperty(u, UCHAR_CHANGES_WHEN_LOWERCASED) ? Unicode::Trait::lowerChanges : 0) |
            (own && keptByNfc ? Unicode::Trait::stableInNfc : 0) |
            (c == U'\t' || u_charType(u) == U_SPACE_SEPARATOR ? Unicode::Trait::space : 0);
        ASSERT_EQ(Unicode::traits(c), expected) << std::hex << static_cast<std::uint32_t>(c);
    }
    EXPECT_TRUE(Unicode::isDecimalDigit(U'７'));
    EXPECT_FALSE(Unicode::isDecimalDigit(U'七'));
    EXPECT_TRUE(Unicode::isNumber(U'七'));
}

TEST(Unicode, LetterAndNumberByFirstScalar) {
    struct Case {
        const char* character;
        bool letter;
        bool number;
    };
    const std::vector<Case> cases = {
        {"a", true, false},  {"漢", true, false}, {"カ", true, false}, {"7", false, true},
        {"７", false, true}, {"三", true, true},  {"Ⅻ", true, true},   {"½", false, true},
        {"-", false, false}, {"", false, false},  {"ー", true, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Unicode::isLetter(std::string_view(c.character)), c.letter) << c.character;
        EXPECT_EQ(Unicode::isNumber(std::string_view(c.character)), c.number) << c.character;
    }
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

// White space is the regular expressions' class; trimming takes space separators and tabs only.
TEST(Unicode, WhiteSpaceAndTrim) {
    EXPECT_EQ(Unicode::trim(" \t\u3000\u00a0abc d\u2003 "), "abc d");
    EXPECT_EQ(Unicode::trim("\nabc\n"), "\nabc\n");
    EXPECT_EQ(Unicode::trim("   "), "");
    for (char32_t c : {U' ', U'\t', U'\n', U'\r', U'\u00a0', U'\u3000', U'\u2028', U'\u0085'})
        EXPECT_TRUE(Unicode::isWhiteSpace(c)) << static_cast<std::uint32_t>(c);
    for (char32_t c : {U'a', U'\u200b', U'\uFFFD', U'_'})
        EXPECT_FALSE(Unicode::isWhiteSpace(c)) << static_cast<std::uint32_t>(c);
}

TEST(Unicode, PreparedTextAgreesWithTheCharacterHelpers) {
    // Each row takes either the one-pass path (every scalar a character of its own) or the cluster path.
    const std::vector<std::string> texts = {
        "",
        "ABC abc 123",
        "株式会社サンプル",
        "カ\u3099ス",
        "👨‍👩‍👧 ok",
        "🇯🇵🇯🇵",
        "a\r\nb",
        "\xff\xfe"
        "発行元",
        "\u0130stanbul",
        "ÉTÉ été",
        "ＡＢＣ１２３",
        "領\uF9B4収書",
        "क्षत्रिय",
        "한국어 ᄀᄀ",
        "三百円",
    };
    for (const std::string& t : texts) {
        const Unicode::PreparedText p{t};
        const std::string valid = Unicode::toValidUtf8(t);
        std::size_t letters = 0;
        std::size_t numbers = 0;
        for (const std::string& c : Unicode::characters(valid)) {
            letters += Unicode::isLetter(c);
            numbers += Unicode::isNumber(c);
        }
        EXPECT_EQ(p.text(), valid) << t;
        EXPECT_EQ(p.tally().characters, Unicode::characterCount(valid)) << t;
        EXPECT_EQ(p.tally().letters, letters) << t;
        EXPECT_EQ(p.tally().numbers, numbers) << t;
        EXPECT_EQ(p.canonical(), Unicode::nfc(valid)) << t;
        EXPECT_EQ(p.isNfc(), Unicode::nfc(valid) == valid) << t;
        EXPECT_EQ(p.folded(), Unicode::nfc(Unicode::lowercased(valid))) << t;
    }
}

TEST(Unicode, FoldedOccurrencesPointAtWholeCharactersOfTheText) {
    struct Case {
        const char* text;
        const char* needle;
        std::vector<std::string> found;
    };
    const std::vector<Case> cases = {
        {"Sample INC inc", "inc", {"INC", "inc"}},
        {"ＡＢＣ株式会社ＩＮＣ", "ｉｎｃ", {"ＩＮＣ"}},
        {"\u0130stanbul Inc.", "inc.", {"Inc."}},
        {"Cafe\u0301 e", "e", {"e"}},  // the "e" inside "é" is not a character of its own
        {"カ\u3099スとガス", "ガス", {"カ\u3099ス", "ガス"}},
        {"aaaa", "aa", {"aa", "aa"}},
        {"abc", "", {}},
    };
    for (const auto& c : cases) {
        const Unicode::PreparedText p{c.text};
        std::vector<std::string> found;
        for (const auto& r : p.foldedOccurrences(Unicode::lowercasedNfc(c.needle)))
            found.push_back(p.text().substr(r.begin, r.end - r.begin));
        EXPECT_EQ(found, c.found) << c.text << " / " << c.needle;
        EXPECT_EQ(p.containsFolded(Unicode::lowercasedNfc(c.needle)), !c.found.empty()) << c.text;
    }
}

TEST(Unicode, SuffixLengthCountsWholeCharacters) {
    struct Case {
        const char* text;
        const char* suffix;
        std::size_t bytes;
    };
    const std::vector<Case> cases = {
        {"ABC様", "様", 3},
        {"様", "様", 3},
        {"ABC 御中", "御中", 6},
        {"ABC様\u0301", "様", 0},        // the last character is 様 with an accent
        {"A\u0600様", "様", 0},          // a prepended mark makes one character with 様
        {"ABC\uF9B4収書", "領収書", 9},  // compatibility ideograph of 領, canonically equal
        {"チョコレート", "レシート", 0},
        {"", "様", 0},
        {"ABC", "", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(Unicode::suffixLength(c.text, c.suffix), c.bytes) << c.text;
}

TEST(Unicode, UppercasedIgnoresTheUsersLanguage) {
    const std::string previous = uloc_getDefault();
    UErrorCode status = U_ZERO_ERROR;
    uloc_setDefault("tr_TR", &status);
    EXPECT_EQ(Unicode::uppercased("registration 番号"), "REGISTRATION 番号");
    uloc_setDefault(previous.c_str(), &status);
    EXPECT_EQ(Unicode::uppercased("straße"), "STRASSE");
    EXPECT_EQ(Unicode::uppercased("abc"), "ABC");
}

// Invalid bytes become replacement characters. Bidirectional overrides and isolates, zero-width and terminal
// controls go; line breaks and tabs become spaces.
TEST(Unicode, InvalidBytesFormatAndControl) {
    EXPECT_EQ(Unicode::toValidUtf8("a\xc3(b"), "a\uFFFD(b");
    EXPECT_EQ(Unicode::toValidUtf8("ok \uFFFD"), "ok \uFFFD");
    EXPECT_EQ(Unicode::toValidUtf8("\xed\xa0\x80"), "\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
    EXPECT_EQ(Unicode::withoutFormatOrControl("山田\u202E商店\u2066\u200B\x1B[31m\tA\r\nB"),
              "山田商店[31m A  B");
    EXPECT_EQ(Unicode::withoutFormatOrControl("ＡＢＣ商事"), "ＡＢＣ商事");
}

}  // namespace
}  // namespace tavori
