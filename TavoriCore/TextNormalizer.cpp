#include "TavoriCore/TextNormalizer.h"

#include "TavoriCore/Unicode.h"

namespace tavori::TextNormalizer {
namespace {

char32_t mapScalar(char32_t c) {
    if (c >= 0xFF01 && c <= 0xFF5E) c -= 0xFEE0;  // full-width ASCII forms
    if (c == 0xFFE5) c = 0x00A5;                  // full-width yen
    switch (c) {
        case 0x3000: return U' ';
        case 0x2015: return U'-';
        case U'\\': return 0x00A5;  // Japanese fonts draw the reverse solidus as a yen sign
        case 0x301C: return U'~';
        default: return c;
    }
}

// Three-byte forms that the mapping leaves alone are copied as they stand: every row from U+1000 to U+EFFF
// except U+2000 to U+203F (the horizontal bar) and U+3000 to U+303F (the ideographic space and the wave
// dash).
bool isCopiedAsIs(std::string_view s, std::size_t i) {
    const auto lead = static_cast<unsigned char>(s[i]);
    if (lead < 0xE1 || lead > 0xEE || lead == 0xED || s.size() - i < 3) return false;
    const auto b1 = static_cast<unsigned char>(s[i + 1]);
    const auto b2 = static_cast<unsigned char>(s[i + 2]);
    if ((b1 & 0xC0) != 0x80 || (b2 & 0xC0) != 0x80) return false;
    return !((lead == 0xE2 || lead == 0xE3) && b1 == 0x80);
}

// `mapped` is valid UTF-8 by construction, so only its edges need looking at.
void trimInPlace(std::string& mapped) {
    std::size_t begin = 0;
    while (begin < mapped.size()) {
        std::size_t i = begin;
        if (!Unicode::isSpace(Unicode::nextScalar(mapped, i))) break;
        begin = i;
    }
    std::size_t end = mapped.size();
    while (end > begin) {
        std::size_t start = end - 1;
        while (start > begin && (static_cast<unsigned char>(mapped[start]) & 0xC0) == 0x80) --start;
        std::size_t i = start;
        if (!Unicode::isSpace(Unicode::nextScalar(mapped, i))) break;
        end = start;
    }
    mapped.resize(end);
    mapped.erase(0, begin);
}

}  // namespace

std::string normalize(std::string_view s) {
    std::string mapped;
    mapped.reserve(s.size());
    bool inSpaceRun = false;
    for (std::size_t i = 0; i < s.size();) {
        if (isCopiedAsIs(s, i)) {
            mapped.append(s.data() + i, 3);
            i += 3;
            inSpaceRun = false;
            continue;
        }
        const char32_t c = mapScalar(Unicode::nextScalar(s, i));
        if (c == U' ' || c == U'\t') {
            if (!inSpaceRun) mapped.push_back(' ');
            inSpaceRun = true;
            continue;
        }
        inSpaceRun = false;
        if (c < 0x80) {
            mapped.push_back(static_cast<char>(c));
        } else {
            Unicode::appendScalar(mapped, c);
        }
    }
    trimInPlace(mapped);
    return mapped;
}

std::string repairNumericToken(std::string_view s) {
    std::string out(s);
    for (char& c : out) {
        switch (c) {
            case 'O':
            case 'o': c = '0'; break;
            case 'l':
            case 'I': c = '1'; break;
            case 'S': c = '5'; break;
            case 'B': c = '8'; break;
            default: break;
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
