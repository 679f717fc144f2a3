#include "TavoriCore/TextNormalizer.h"

#include <array>

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

}  // namespace

std::string normalize(std::string_view s) {
    // Every byte maps to at most three (an ill-formed byte becomes U+FFFD), so the output is written into a
    // buffer of three times the input: on the stack for a line of ordinary length.
    std::array<char, 384> small;
    std::string large;
    if (s.size() * 3 > small.size()) large.resize(s.size() * 3);
    char* const begin = large.empty() ? small.data() : large.data();
    char* w = begin;
    bool inSpaceRun = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        char32_t c = byte;
        if (byte < 0x80 && byte != '\\') {
            ++i;
        } else {
            const std::size_t start = i;
            const char32_t read = Unicode::nextScalar(s, i);
            c = mapScalar(read);
            if (c == read && c != 0xFFFD) {
                // Unchanged and well-formed: its own bytes.
                for (std::size_t k = start; k < i; ++k) *w++ = s[k];
                inSpaceRun = false;
                continue;
            }
        }
        if (c == U' ' || c == U'\t') {
            if (!inSpaceRun) *w++ = ' ';
            inSpaceRun = true;
            continue;
        }
        inSpaceRun = false;
        if (c < 0x80) {
            *w++ = static_cast<char>(c);
        } else {
            std::string encoded;
            Unicode::appendScalar(encoded, c);
            for (const char e : encoded) *w++ = e;
        }
    }
    std::string out(begin, static_cast<std::size_t>(w - begin));
    // Most lines have nothing to trim; spare them the copy.
    if (out.empty()) return out;
    std::size_t last = out.size() - 1;
    while (last > 0 && (static_cast<unsigned char>(out[last]) & 0xC0) == 0x80) --last;
    auto spaceAt = [&](std::size_t at) {
        const auto b = static_cast<unsigned char>(out[at]);
        if (b < 0x80) return b == ' ' || b == '\t';
        std::size_t i = at;
        return Unicode::isSpace(Unicode::nextScalar(out, i));
    };
    if (!spaceAt(0) && !spaceAt(last)) return out;
    return Unicode::trim(out);
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
