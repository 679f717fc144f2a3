#include "TavoriCore/Utf8.h"

#include <algorithm>

#include <unicode/utf8.h>

namespace tavori::Unicode {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

char32_t nextScalarSlow(std::string_view s, std::size_t& i) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data() + i);
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(s.size() - i, 4));
    std::int32_t j = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, j, length, c);
    i += static_cast<std::size_t>(j);
    return c < 0 ? kReplacementCharacter : static_cast<char32_t>(c);
}

bool isValidUtf8(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size()) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t start = i;
        const char32_t c = nextScalar(s, i);
        if (c == kReplacementCharacter && !(i - start == 3 && s.compare(start, 3, "\xEF\xBF\xBD") == 0))
            return false;
    }
    return true;
}

void appendScalarSlow(std::string& out, char32_t scalar) {
    char buffer[4];
    std::int32_t length = 0;
    UBool error = false;
    U8_APPEND(buffer, length, 4, static_cast<UChar32>(scalar), error);
    if (error) {
        out += "\xEF\xBF\xBD";
        return;
    }
    out.append(buffer, static_cast<std::size_t>(length));
}

std::string toValidUtf8(std::string_view s) {
    if (isValidUtf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    for (std::size_t i = 0; i < s.size();) appendScalar(out, nextScalar(s, i));
    return out;
}

std::string fromUtf16(const icu::UnicodeString& s) {
    std::string out;
    s.toUTF8String(out);
    return out;
}

Text::Text(std::string_view utf8) : utf8_(toValidUtf8(utf8)) {
    offsets_.reserve(utf8_.size() + 1);
    if (isAscii(utf8_)) {
        utf16_ = icu::UnicodeString(utf8_.data(), static_cast<std::int32_t>(utf8_.size()), US_INV);
        for (std::size_t i = 0; i <= utf8_.size(); ++i) offsets_.push_back(i);
        return;
    }
    utf16_ = icu::UnicodeString::fromUTF8(utf8_);
    for (std::size_t i = 0; i < utf8_.size();) {
        const std::size_t start = i;
        const char32_t c = nextScalar(utf8_, i);
        offsets_.push_back(start);
        if (c > 0xFFFF) offsets_.push_back(start);
    }
    offsets_.push_back(utf8_.size());
}

}  // namespace tavori::Unicode
