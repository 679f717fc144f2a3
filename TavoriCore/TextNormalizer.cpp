#include "TavoriCore/TextNormalizer.h"

#include <algorithm>
#include <cstdint>

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

// Every extractor normalises every line: runs of unchanged bytes are copied whole.
std::string normalize(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    bool inSpaceRun = false;
    std::size_t kept = 0;  // start of the unchanged bytes not yet copied
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t start = i;
        const char32_t c = Unicode::nextScalar(s, i);
        const char32_t mapped = mapScalar(c);
        if (mapped == U' ' || mapped == U'\t') {
            // One ASCII space stays as it is; any other white space, or a space that continues a run, is
            // replaced or dropped.
            if (c != U' ' || inSpaceRun) {
                out.append(s.data() + kept, start - kept);
                if (!inSpaceRun) out.push_back(' ');
                kept = i;
            }
            inSpaceRun = true;
            continue;
        }
        inSpaceRun = false;
        if (mapped == c && c != Unicode::kReplacementCharacter) continue;
        // A mapped character, or invalid bytes read as U+FFFD.
        out.append(s.data() + kept, start - kept);
        Unicode::appendScalar(out, mapped);
        kept = i;
    }
    out.append(s.data() + kept, s.size() - kept);
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
