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
struct PreparedText {
    std::string text;
    ByteSet bytes;

    PreparedText() = default;
    explicit PreparedText(std::string prepared) : text(std::move(prepared)), bytes(ByteSet::of(text)) {}
    // NFC of `s`; with `ignoringCase`, of its lower-cased form.
    static PreparedText of(std::string_view s, bool ignoringCase);
};

// `haystack` contains `needle`, both prepared the same way.
inline bool containsPrepared(const PreparedText& haystack, const PreparedText& needle) {
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

std::string trim(std::string_view s);
// `trim` of text known to be valid UTF-8.
std::string trimValid(std::string_view s);

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

}  // namespace tavori::Unicode
