#include "TavoriCore/TextForms.h"

#include <cstring>

#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uloc.h>

namespace tavori::Unicode {
namespace {

// Scripts in which every character is already in composed form: most receipt text, checked without ICU.
bool isPlainlyComposed(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const char32_t c = nextScalar(s, i);
        const bool plain = c < 0x300 || (c >= 0x3000 && c <= 0x3029) || (c >= 0x3030 && c <= 0x3098) ||
                           (c >= 0x309B && c <= 0x9FFF) || (c >= 0xFF00 && c <= 0xFFEF);
        if (!plain) return false;
    }
    return true;
}

void lowerAsciiCapitals(std::string& s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
}

// Whether lower-casing and NFC leave `s` as it is, ignoring its ASCII capitals, and whether it has any.
struct Settled {
    bool exceptCapitals = false;
    bool capitals = false;
};

Settled settledForm(std::string_view s) {
    Settled result{true, false};
    for (std::size_t i = 0; i < s.size();) {
        const auto byte = static_cast<unsigned char>(s[i]);
        if (byte < 0x80) {
            result.capitals = result.capitals || (byte >= 'A' && byte <= 'Z');
            ++i;
            continue;
        }
        if (!(traits(nextScalar(s, i)) & Trait::lowercasedNfc)) return {false, result.capitals};
    }
    return result;
}

}  // namespace

bool lowersAsciiPlainly() {
    static const bool plain = [] {
        const char* language = uloc_getDefault();
        return !(std::strncmp(language, "tr", 2) == 0 || std::strncmp(language, "az", 2) == 0 ||
                 std::strncmp(language, "lt", 2) == 0);
    }();
    return plain;
}

bool isNfcText(std::string_view valid) {
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return U_SUCCESS(status) && normalizer->isNormalizedUTF8(valid, status) && U_SUCCESS(status);
}

std::string nfc(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    if (!isValidUtf8(s)) return nfc(toValidUtf8(s));
    const std::string_view valid = s;
    if (isPlainlyComposed(valid)) return std::string(valid);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return std::string(valid);
    if (normalizer->isNormalizedUTF8(valid, status) && U_SUCCESS(status)) return std::string(valid);
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    normalizer->normalizeUTF8(0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : std::string(valid);
}

std::string lowercased(std::string_view s) {
    if (lowersAsciiPlainly()) {
        // Most text (Japanese, digits, punctuation) has no cased letters beyond ASCII: lower those bytes
        // only.
        bool onlyAsciiCases = true;
        for (std::size_t i = 0; i < s.size() && onlyAsciiCases;) {
            const std::size_t start = i;
            const char32_t c = nextScalar(s, i);
            if (c >= 0x80 && !(c >= 0x3000 && c <= 0x9FFF) &&
                ((traits(c) & Trait::lowerChanges) || (c == kReplacementCharacter && i - start != 3)))
                onlyAsciiCases = false;
        }
        if (onlyAsciiCases) {
            std::string out(s);
            lowerAsciiCapitals(out);
            return out;
        }
    }
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8ToLower(uloc_getDefault(), 0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

std::string uppercased(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        return out;
    }
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8ToUpper("", 0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

std::string caseFolded(std::string_view s) {
    const std::string valid = toValidUtf8(s);
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8Fold(0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

bool isLowercasedNfc(std::string_view s) {
    if (!lowersAsciiPlainly() || !isValidUtf8(s)) return false;
    const Settled settled = settledForm(s);
    if (settled.exceptCapitals) return !settled.capitals;
    return lowercased(s) == s && isNfcText(s);
}

std::string lowercasedNfc(std::string_view s) {
    if (lowersAsciiPlainly() && isValidUtf8(s) && settledForm(s).exceptCapitals) {
        std::string out(s);
        lowerAsciiCapitals(out);
        return out;
    }
    return nfc(lowercased(s));
}

std::string trim(std::string_view s) {
    const std::string valid = toValidUtf8(s);
    std::size_t begin = 0;
    while (begin < valid.size()) {
        std::size_t i = begin;
        if (!isSpace(nextScalar(valid, i))) break;
        begin = i;
    }
    std::size_t end = valid.size();
    while (end > begin) {
        const std::size_t start = lastScalarStart(std::string_view(valid).substr(0, end));
        std::size_t i = start;
        if (!isSpace(nextScalar(valid, i))) break;
        end = start;
    }
    return valid.substr(begin, end - begin);
}

std::size_t suffixLength(std::string_view s, std::string_view suffix) {
    if (suffix.empty() || s.empty()) return 0;
    if (s.ends_with(suffix)) {
        const std::size_t at = s.size() - suffix.size();
        if (at == 0) return suffix.size();
        std::size_t i = lastScalarStart(s.substr(0, at));
        const char32_t before = nextScalar(s, i);
        std::size_t j = 0;
        const char32_t first = nextScalar(suffix, j);
        auto alone = [](char32_t c) { return (traits(c) & Trait::ownCharacter) != 0; };
        if (i == at && alone(before) && alone(first)) return suffix.size();
        return characterCount(s.substr(0, at)) + characterCount(suffix) == characterCount(s) ? suffix.size()
                                                                                             : 0;
    }
    // Without a byte match only a text that NFC would change can still end with `suffix`; a last character
    // that NFC keeps and nothing joins must then be the suffix's own last character.
    std::size_t i = lastScalarStart(s);
    const char32_t last = nextScalar(s, i);
    std::size_t k = lastScalarStart(suffix);
    const char32_t suffixLast = nextScalar(suffix, k);
    if (i == s.size() && (traits(last) & Trait::stableInNfc) && last != suffixLast) return 0;
    const std::string valid = toValidUtf8(s);
    if (isNfcText(valid)) return 0;
    const auto all = characters(valid);
    const std::size_t count = characterCount(suffix);
    if (all.size() < count) return 0;
    std::string tail;
    for (std::size_t c = all.size() - count; c < all.size(); ++c) tail += all[c];
    return nfc(tail) == suffix ? tail.size() : 0;
}

}  // namespace tavori::Unicode
