#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

// The text tests every extractor shares, in one place so that no extractor converts or classifies on its own.
// All functions accept arbitrary bytes; invalid UTF-8 reads as U+FFFD.
namespace tavori::Unicode {

// One UTF-16 conversion of a UTF-8 string, kept with the byte offset of every UTF-16 unit, so that several
// patterns can search the same text and report byte ranges into the original bytes.
class Text {
public:
    explicit Text(std::string_view utf8);

    std::string_view utf8() const { return utf8_; }
    const icu::UnicodeString& utf16() const { return utf16_; }
    // Byte offset in utf8() of the UTF-16 unit at `index`; `index == length` gives the byte length.
    std::size_t byteOffset(std::int32_t index) const { return offsets_[static_cast<std::size_t>(index)]; }

private:
    std::string utf8_;
    icu::UnicodeString utf16_;
    std::vector<std::size_t> offsets_;
};

std::string toValidUtf8(std::string_view s);
std::string fromUtf16(const icu::UnicodeString& s);

// Substring search under canonical equivalence (both sides compared in NFC, at character boundaries).
bool contains(std::string_view haystack, std::string_view needle);
// Substring search ignoring case by full case folding, then as `contains`.
bool containsIgnoringCase(std::string_view haystack, std::string_view needle);

// Canonical (NFC) and lower-cased forms; an extractor that tests many keywords against one line prepares the
// line once with these and then uses `containsPrepared`.
std::string nfc(std::string_view s);
std::string lowercased(std::string_view s);
std::string caseFolded(std::string_view s);
// `haystack` and `needle` already in NFC: a byte search that only accepts matches at character boundaries.
bool containsPrepared(std::string_view haystack, std::string_view needle);

// User-perceived characters (grapheme clusters).
std::size_t characterCount(std::string_view s);
std::vector<std::string> characters(std::string_view s);
// The first `count` user-perceived characters.
std::string prefixCharacters(std::string_view s, std::size_t count);

// Tests of a character by its first scalar.
bool isLetter(std::string_view character);
bool isNumber(std::string_view character);
bool isLetter(char32_t scalar);
bool isNumber(char32_t scalar);
// Space separators (Zs) and tab: the white space that `trim` removes.
bool isSpace(char32_t scalar);
bool isNewline(char32_t scalar);

std::string trim(std::string_view s);

// Decodes the scalar at byte `i`, advancing `i`; invalid sequences give U+FFFD.
char32_t nextMultibyteScalar(std::string_view s, std::size_t& i);
inline char32_t nextScalar(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    // Kana, kanji and full-width forms: three bytes whose lead is not E0 or ED (those limit the second byte).
    if (b0 >= 0xE1 && b0 <= 0xEF && b0 != 0xED && s.size() - i >= 3) {
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        const auto b2 = static_cast<unsigned char>(s[i + 2]);
        if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80) {
            i += 3;
            return (char32_t(b0 & 0x0F) << 12) | (char32_t(b1 & 0x3F) << 6) | (b2 & 0x3F);
        }
    }
    return nextMultibyteScalar(s, i);
}
void appendScalar(std::string& out, char32_t scalar);

// First occurrence of `needle` in `haystack` at character boundaries, both already in NFC: the byte offset,
// or std::string_view::npos. `containsPrepared` is this test without the offset.
std::size_t findPrepared(std::string_view haystack, std::string_view needle);
// The last `count` user-perceived characters.
std::string suffixCharacters(std::string_view s, std::size_t count);
// The first scalar of every user-perceived character, in order: what the letter and number tests look at.
std::vector<char32_t> firstScalars(std::string_view s);
// `nfc(lowercased(s))`, the form in which lines are searched for prepared keywords, without the case map
// and the normaliser's copy where they would change nothing; `isLowercasedNfc` tells whether `s` is in it.
std::string lowercasedNfc(std::string_view s);
bool isLowercasedNfc(std::string_view s);
// General category Nd: the digits that "\d" matches in a pattern.
bool isDecimalDigit(char32_t scalar);

// The properties of one scalar that scanning a line asks most, looked up in one table that is built from
// ICU's property data on first use (the BMP) or asked of ICU directly (beyond it).
namespace Trait {
enum : std::uint8_t {
    decimalDigit = 1,   // general category Nd
    letter = 2,         // Alphabetic
    number = 4,         // has a numeric type
    ownCharacter = 8,   // grapheme break class Other, Control or LF: a character whatever surrounds it
    lowercasedNfc = 16, // unchanged by lower-casing and kept by NFC whatever surrounds it
};
}
std::uint8_t traits(char32_t scalar);


}  // namespace tavori::Unicode
