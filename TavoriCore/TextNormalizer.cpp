#include "TavoriCore/TextNormalizer.h"

#include <algorithm>
#include <cstdint>

#include <unicode/utf8.h>

#include "TavoriCore/Unicode.h"

namespace tavori::TextNormalizer {
namespace {

char32_t mapScalar(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII forms
    if (c == 0xFFE5) c = 0x00A5;                  // full-width yen
    switch (c) {
        case 0x3000:
            return U' ';
        case 0x2015:
            return U'-';
        case U'\\':
            return 0x00A5;  // Japanese fonts draw the reverse solidus as a yen sign
        case 0x301C:
            return U'~';
        default:
            return c;
    }
}

// Trims white space (space separators) from both ends of valid UTF-8 in place; tabs are already gone.
void trimSpaces(std::string& s) {
    if (s.empty() || (s.front() != ' ' && s.back() != ' ' && static_cast<unsigned char>(s.front()) < 0x80 &&
                      static_cast<unsigned char>(s.back()) < 0x80))
        return;
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t next = begin;
        if (!Unicode::isSpace(Unicode::nextScalar(s, next))) break;
        begin = next;
    }
    std::size_t end = s.size();
    while (end > begin) {
        std::size_t last = end - 1;
        while (last > begin && (static_cast<unsigned char>(s[last]) & 0xC0) == 0x80) --last;
        std::size_t next = last;
        if (!Unicode::isSpace(Unicode::nextScalar(s, next))) break;
        end = last;
    }
    s.erase(end);
    s.erase(0, begin);
}

}  // namespace

// Every extractor normalises every line: ASCII and unchanged characters are copied as bytes.
std::string normalize(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool inSpaceRun = false;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const unsigned char byte = static_cast<unsigned char>(s[i]);
        char32_t c = byte;
        if (byte < 0x80) {
            ++i;
        } else {
            // The same decoding as Unicode::nextScalar, inlined: this loop runs over every byte of every
            // line.
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data() + i);
            const auto length = static_cast<std::int32_t>(std::min<std::size_t>(s.size() - i, 4));
            std::int32_t j = 0;
            UChar32 decoded = 0;
            U8_NEXT(bytes, j, length, decoded);
            i += static_cast<std::size_t>(j);
            c = decoded < 0 ? char32_t{0xFFFD} : static_cast<char32_t>(decoded);
        }
        const char32_t mapped = mapScalar(c);
        if (mapped == U' ' || mapped == U'\t') {
            if (!inSpaceRun) out.push_back(' ');
            inSpaceRun = true;
            continue;
        }
        inSpaceRun = false;
        if (mapped < 0x80) {
            out.push_back(static_cast<char>(mapped));
        } else if (mapped == c && c != 0xFFFD) {
            out.append(s.substr(start, i - start));  // a valid sequence, kept as it is
        } else {
            Unicode::appendScalar(out, mapped);
        }
    }
    trimSpaces(out);
    return out;
}

std::string repairNumericToken(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        switch (c) {
            case 'O':
            case 'o':
                c = '0';
                break;
            case 'l':
            case 'I':
                c = '1';
                break;
            case 'S':
                c = '5';
                break;
            case 'B':
                c = '8';
                break;
            default:
                break;
        }
    }
    return out;
}

std::string digitsOnly(std::string_view s) {
    std::string out;
    for (char c : s)
        if (c >= '0' && c <= '9') out.push_back(c);
    return out;
}

}  // namespace tavori::TextNormalizer
