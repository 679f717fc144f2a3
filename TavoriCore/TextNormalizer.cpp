#include "TavoriCore/TextNormalizer.h"

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

}  // namespace

std::string normalize(std::string_view s) {
    std::string mapped;
    mapped.reserve(s.size());
    bool inSpaceRun = false;
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80 && byte != '\\' && byte != ' ' && byte != '\t') {
            mapped.push_back(static_cast<char>(byte));
            inSpaceRun = false;
            ++i;
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
    return Unicode::trimValid(mapped);
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
