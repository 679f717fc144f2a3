#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <unicode/unistr.h>

// UTF-8 decoding, encoding and repair. All functions accept arbitrary bytes; invalid UTF-8 reads as U+FFFD.
namespace tavori::Unicode {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

char32_t nextScalarSlow(std::string_view s, std::size_t& i);

// Decodes the scalar at byte `i`, advancing `i`; invalid sequences give U+FFFD. The one-byte and the common
// three-byte forms (kana, kanji, full-width forms) are decoded in line.
inline char32_t nextScalar(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    if (b0 >= 0xE1 && b0 <= 0xEF && b0 != 0xED && s.size() - i >= 3) {
        const auto b1 = static_cast<unsigned char>(s[i + 1]);
        const auto b2 = static_cast<unsigned char>(s[i + 2]);
        if ((b1 & 0xC0) == 0x80 && (b2 & 0xC0) == 0x80) {
            i += 3;
            return static_cast<char32_t>((b0 & 0x0F) << 12 | (b1 & 0x3F) << 6 | (b2 & 0x3F));
        }
    }
    return nextScalarSlow(s, i);
}

// Start of the scalar that ends just before byte `end` (> 0) of valid UTF-8.
inline std::size_t previousScalarStart(std::string_view s, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    return start;
}

// Start of the last scalar of non-empty `s`, looking back at most three continuation bytes.
inline std::size_t lastScalarStart(std::string_view s) {
    std::size_t back = s.size() - 1;
    while (back > 0 && s.size() - back < 4 && (static_cast<unsigned char>(s[back]) & 0xC0) == 0x80) --back;
    return back;
}

bool isAscii(std::string_view s);
bool isValidUtf8(std::string_view s);
std::string toValidUtf8(std::string_view s);

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

std::string fromUtf16(const icu::UnicodeString& s);

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

}  // namespace tavori::Unicode
