#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
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

// The set of byte values in a string: a keyword can only occur in a line that holds all of its bytes, which
// rules out most keywords of a table before any search.
struct ByteSet {
    std::uint64_t bits[4] = {0, 0, 0, 0};

    static ByteSet of(std::string_view s) {
        ByteSet set;
        for (char c : s) {
            const auto b = static_cast<unsigned char>(c);
            set.bits[b >> 6] |= std::uint64_t{1} << (b & 63);
        }
        return set;
    }
    bool containsAll(const ByteSet& other) const {
        return (bits[0] & other.bits[0]) == other.bits[0] && (bits[1] & other.bits[1]) == other.bits[1] &&
               (bits[2] & other.bits[2]) == other.bits[2] && (bits[3] & other.bits[3]) == other.bits[3];
    }
};

// A string prepared once for many keyword tests: `text` in NFC (and lower-cased where the test ignores case).
struct KeywordText {
    std::string text;
    ByteSet bytes;

    KeywordText() = default;
    explicit KeywordText(std::string prepared) : text(std::move(prepared)), bytes(ByteSet::of(text)) {}
    // NFC of `s`; with `ignoringCase`, of its lower-cased form.
    static KeywordText of(std::string_view s, bool ignoringCase);
};

// `haystack` contains `needle`, both prepared the same way.
inline bool containsPrepared(const KeywordText& haystack, const KeywordText& needle) {
    return haystack.bytes.containsAll(needle.bytes) && containsPrepared(haystack.text, needle.text);
}

// User-perceived characters (grapheme clusters).
std::size_t characterCount(std::string_view s);
std::vector<std::string> characters(std::string_view s);
// The first `count` user-perceived characters.
std::string prefixCharacters(std::string_view s, std::size_t count);
// The longest prefix of whole user-perceived characters within `maxBytes` bytes. Bytes that are not valid
// UTF-8 are kept as they are (file names are bytes); each invalid sequence counts as one character.
std::string prefixWithinBytes(std::string_view s, std::size_t maxBytes);

// Tests of a character by its first scalar.
bool isLetter(std::string_view character);
bool isNumber(std::string_view character);
bool isLetter(char32_t scalar);
bool isNumber(char32_t scalar);
// Space separators (Zs) and tab: the white space that `trim` removes.
bool isSpace(char32_t scalar);
bool isNewline(char32_t scalar);
// Unicode White_Space: what the regular expression "\s" matches (it includes U+3000 and line separators).
bool isWhiteSpace(char32_t scalar);
// General categories Cc and Cf: controls and invisible format characters, among them the bidirectional
// embeddings, overrides and isolates that can make a text display in another order than it is stored.
bool isFormatOrControl(char32_t scalar);

std::string trim(std::string_view s);

char32_t nextScalarSlow(std::string_view s, std::size_t& i);

// Decodes the scalar at byte `i`, advancing `i`; invalid sequences give U+FFFD.
inline char32_t nextScalar(std::string_view s, std::size_t& i) {
    const auto byte = static_cast<unsigned char>(s[i]);
    if (byte < 0x80) {
        ++i;
        return byte;
    }
    return nextScalarSlow(s, i);
}

bool isValidUtf8(std::string_view s);
void appendScalarSlow(std::string& out, char32_t scalar);
inline void appendScalar(std::string& out, char32_t scalar) {
    if (scalar < 0x80) {
        out.push_back(static_cast<char>(scalar));
    } else if (scalar >= 0x800 && scalar <= 0xFFFF && (scalar < 0xD800 || scalar > 0xDFFF)) {
        const char bytes[3] = {static_cast<char>(0xE0 | (scalar >> 12)),
                               static_cast<char>(0x80 | ((scalar >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (scalar & 0x3F))};
        out.append(bytes, 3);
    } else {
        appendScalarSlow(out, scalar);
    }
}

// Locale-independent (root) upper-casing, so that a test against an upper-case ASCII word does not depend on
// the user's language (Turkish upper-cases "i" to "İ").
std::string uppercased(std::string_view s);

// Characters, letters and numbers of a text: the counts `characterCount`, `isLetter` and `isNumber` give.
struct CharacterTally {
    std::size_t characters = 0;
    std::size_t letters = 0;
    std::size_t numbers = 0;
};

// Byte length of the end of `s` that is, character for character and under canonical equivalence, the NFC
// text `suffix`; 0 when `s` does not end with it (or `suffix` is empty). `s` is expected to be valid UTF-8.
std::size_t suffixLength(std::string_view s, std::string_view suffix);

struct ByteRange {
    std::size_t begin = 0;
    std::size_t end = 0;
    bool operator==(const ByteRange&) const = default;
};

// A text prepared once for many keyword tests: its NFC form for `containsPrepared` with NFC needles, its
// lower-cased (user's locale) NFC form for case-insensitive searches that report where in the text a match
// lies, and its tally. Ranges are byte offsets into `text()` and always cover whole characters.
class PreparedText {
  public:
    // Invalid bytes read as U+FFFD.
    explicit PreparedText(std::string text);

    static std::string foldedNeedle(std::string_view needle) { return nfc(lowercased(needle)); }

    const std::string& text() const { return text_; }
    const std::string& canonical() const { return canonicalIsText_ ? text_ : canonical_; }
    const std::string& folded() const { return foldedIsText_ ? text_ : folded_; }
    const CharacterTally& tally() const { return tally_; }
    bool isNfc() const { return canonicalIsText_; }
    // The text is its own NFC and lower-cased form, so one search serves both kinds of needle.
    bool foldsToItself() const { return canonicalIsText_ && foldedIsText_; }

    // Needles prepared with `foldedNeedle`; an empty needle is never found.
    bool containsFolded(std::string_view needle) const;
    std::vector<ByteRange> foldedOccurrences(std::string_view needle) const;

  private:
    bool next(std::string_view needle, std::size_t& from, ByteRange& range) const;
    bool textOffset(std::size_t foldedOffset, std::size_t& offset) const;

    std::string text_;
    std::string canonical_;
    std::string folded_;
    bool canonicalIsText_ = true;
    bool foldedIsText_ = true;
    CharacterTally tally_;
    // Character boundaries as (folded offset, text offset); empty when both line up byte for byte.
    std::vector<std::pair<std::size_t, std::size_t>> boundaries_;
};

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
    decimalDigit = 1,    // general category Nd
    letter = 2,          // Alphabetic
    number = 4,          // has a numeric type
    ownCharacter = 8,    // grapheme break class Other, Control or LF: a character whatever surrounds it
    lowercasedNfc = 16,  // unchanged by lower-casing and kept by NFC whatever surrounds it
};
}
std::uint8_t traits(char32_t scalar);

}  // namespace tavori::Unicode
