#include "TavoriCore/Unicode.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <unicode/brkiter.h>
#include <unicode/bytestream.h>
#include <unicode/casemap.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/uloc.h>
#include <unicode/utext.h>
#include <unicode/utf8.h>

namespace tavori::Unicode {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Length of the well-formed multi-byte sequence at `b` (at most `available` bytes), or 0 when it is not one.
std::size_t wellFormedLength(const unsigned char* b, std::size_t available) {
    auto continuation = [](unsigned char c) { return (c & 0xC0) == 0x80; };
    const unsigned char lead = b[0];
    if (lead >= 0xC2 && lead <= 0xDF) return available >= 2 && continuation(b[1]) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (available < 3 || !continuation(b[1]) || !continuation(b[2])) return 0;
        if (lead == 0xE0 && b[1] < 0xA0) return 0;  // overlong
        if (lead == 0xED && b[1] > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (available < 4 || !continuation(b[1]) || !continuation(b[2]) || !continuation(b[3])) return 0;
        if (lead == 0xF0 && b[1] < 0x90) return 0;  // overlong
        if (lead == 0xF4 && b[1] > 0x8F) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

bool isValidUtf8(std::string_view s) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        if (bytes[i] < 0x80) {
            ++i;
            continue;
        }
        const std::size_t length = wellFormedLength(bytes + i, s.size() - i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Lower-casing ASCII by bytes is exact unless the locale has its own rules for "I".
bool localeLowersAsciiPlainly() {
    static const bool plain = [] {
        const char* language = uloc_getDefault();
        return !(std::strncmp(language, "tr", 2) == 0 || std::strncmp(language, "az", 2) == 0 ||
                 std::strncmp(language, "lt", 2) == 0);
    }();
    return plain;
}

bool isExtendingScalar(char32_t c) {
    const auto gcb = u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_GRAPHEME_CLUSTER_BREAK);
    return gcb == U_GCB_EXTEND || gcb == U_GCB_ZWJ || gcb == U_GCB_SPACING_MARK;
}

// True when the grapheme-cluster rules break between `a` and `b` whatever surrounds them: both are of the
// classes Other, Control, CR or LF and they are not CR LF. Lets the common case skip the break iterator.
bool alwaysBreaksBetween(char32_t a, char32_t b) {
    if (a == U'\r' && b == U'\n') return false;
    auto plain = [](char32_t c) { return c < 0x80 || (traits(c) & Trait::ownCharacter) != 0; };
    return plain(a) && plain(b);
}

// Start of the scalar that ends just before byte `end` of valid UTF-8.
std::size_t previousScalarStart(std::string_view s, std::size_t end) {
    std::size_t start = end - 1;
    while (start > 0 && (static_cast<unsigned char>(s[start]) & 0xC0) == 0x80) --start;
    return start;
}

}  // namespace

char32_t nextMultibyteScalar(std::string_view s, std::size_t& i) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(s.data() + i);
    switch (wellFormedLength(bytes, s.size() - i)) {
        case 2:
            i += 2;
            return (char32_t(bytes[0] & 0x1F) << 6) | (bytes[1] & 0x3F);
        case 3:
            i += 3;
            return (char32_t(bytes[0] & 0x0F) << 12) | (char32_t(bytes[1] & 0x3F) << 6) | (bytes[2] & 0x3F);
        case 4:
            i += 4;
            return (char32_t(bytes[0] & 0x07) << 18) | (char32_t(bytes[1] & 0x3F) << 12) |
                   (char32_t(bytes[2] & 0x3F) << 6) | (bytes[3] & 0x3F);
        default: break;
    }
    // Ill-formed: let ICU decide how many bytes one replacement character stands for.
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(s.size() - i, 4));
    std::int32_t j = 0;
    UChar32 c = 0;
    U8_NEXT(bytes, j, length, c);
    i += static_cast<std::size_t>(j);
    return c < 0 ? kReplacement : static_cast<char32_t>(c);
}

void appendScalar(std::string& out, char32_t scalar) {
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

std::string nfc(std::string_view s) {
    if (isAscii(s)) return std::string(s);
    const std::string valid = toValidUtf8(s);
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status)) return valid;
    if (normalizer->isNormalizedUTF8(valid, status) && U_SUCCESS(status)) return valid;
    status = U_ZERO_ERROR;
    std::string out;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    normalizer->normalizeUTF8(0, valid, sink, nullptr, status);
    return U_SUCCESS(status) ? out : valid;
}

std::string lowercased(std::string_view s) {
    if (isAscii(s) && localeLowersAsciiPlainly()) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    const std::string valid = toValidUtf8(s);
    if (localeLowersAsciiPlainly()) {
        // Outside the locales with their own rules, lower-casing only touches characters that change when
        // lower-cased; most Japanese text has none, and then the case map is not needed.
        bool changes = false;
        for (std::size_t i = 0; i < valid.size() && !changes;) {
            const char32_t c = nextScalar(valid, i);
            changes = c < 0x80 ? (c >= U'A' && c <= U'Z')
                               : u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_CHANGES_WHEN_LOWERCASED);
        }
        if (!changes) return valid;
    }
    std::string out;
    UErrorCode status = U_ZERO_ERROR;
    icu::StringByteSink<std::string> sink(&out, static_cast<std::int32_t>(valid.size()));
    icu::CaseMap::utf8ToLower(uloc_getDefault(), 0, valid, sink, nullptr, status);
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

std::size_t findPrepared(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 0;
    for (std::size_t at = haystack.find(needle); at != std::string_view::npos;
         at = haystack.find(needle, at + 1)) {
        const std::size_t end = at + needle.size();
        if (end == haystack.size() || static_cast<unsigned char>(haystack[end]) < 0x80) return at;
        std::size_t i = end;
        if (!isExtendingScalar(nextScalar(haystack, i))) return at;
    }
    return std::string_view::npos;
}

bool containsPrepared(std::string_view haystack, std::string_view needle) {
    return findPrepared(haystack, needle) != std::string_view::npos;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return containsPrepared(nfc(haystack), nfc(needle));
}

bool containsIgnoringCase(std::string_view haystack, std::string_view needle) {
    return containsPrepared(nfc(lowercased(haystack)), nfc(lowercased(needle)));
}

std::size_t characterCount(std::string_view s) {
    if (isAscii(s) && s.find('\r') == std::string_view::npos) return s.size();
    return characters(s).size();
}

std::vector<std::string> characters(std::string_view s) {
    std::vector<std::string> out;
    const std::string valid = toValidUtf8(s);
    if (valid.empty()) return out;
    thread_local std::unique_ptr<icu::BreakIterator> iterator = [] {
        UErrorCode status = U_ZERO_ERROR;
        std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        return U_SUCCESS(status) ? std::move(it) : nullptr;
    }();
    if (!iterator) {
        for (std::size_t i = 0; i < valid.size();) {
            const std::size_t start = i;
            nextScalar(valid, i);
            out.emplace_back(valid.substr(start, i - start));
        }
        return out;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* text = utext_openUTF8(nullptr, valid.data(), static_cast<std::int64_t>(valid.size()), &status);
    iterator->setText(text, status);
    std::int32_t start = iterator->first();
    for (std::int32_t end = iterator->next(); end != icu::BreakIterator::DONE; start = end, end = iterator->next())
        out.emplace_back(valid.substr(static_cast<std::size_t>(start), static_cast<std::size_t>(end - start)));
    // The iterator keeps its own clone of the UText; reset it so nothing points into `valid` afterwards.
    utext_close(text);
    iterator->setText(icu::UnicodeString());
    return out;
}

std::string prefixCharacters(std::string_view s, std::size_t count) {
    if (isValidUtf8(s)) {
        // Each of the first `count` scalars is a character of its own when the rules always break after it.
        std::size_t end = 0;
        std::size_t taken = 0;
        bool plain = true;
        while (end < s.size() && taken < count && plain) {
            std::size_t next = end;
            const char32_t c = nextScalar(s, next);
            if (next < s.size()) {
                std::size_t after = next;
                plain = alwaysBreaksBetween(c, nextScalar(s, after));
            }
            end = next;
            ++taken;
        }
        if (plain) return std::string(s.substr(0, end));
    }
    std::string out;
    const auto all = characters(s);
    for (std::size_t i = 0; i < std::min(count, all.size()); ++i) out += all[i];
    return out;
}

std::string suffixCharacters(std::string_view s, std::size_t count) {
    if (count == 0) return {};
    if (isValidUtf8(s)) {
        std::size_t begin = s.size();
        std::size_t taken = 0;
        char32_t following = 0;
        bool plain = true;
        // The last `count` scalars, and the one before them, must all be separated by certain breaks.
        while (begin > 0 && plain && taken <= count) {
            const std::size_t start = previousScalarStart(s, begin);
            std::size_t i = start;
            const char32_t c = nextScalar(s, i);
            if (taken > 0) plain = alwaysBreaksBetween(c, following);
            if (taken == count) break;
            following = c;
            begin = start;
            ++taken;
        }
        if (plain) return std::string(s.substr(begin));
    }
    const auto all = characters(s);
    std::string out;
    for (std::size_t k = all.size() - std::min(count, all.size()); k < all.size(); ++k) out += all[k];
    return out;
}

std::vector<char32_t> firstScalars(std::string_view s) {
    std::vector<char32_t> out;
    if (isValidUtf8(s)) {
        out.reserve(s.size());
        bool plain = true;
        for (std::size_t i = 0; i < s.size() && plain;) {
            const char32_t c = nextScalar(s, i);
            if (!out.empty()) plain = alwaysBreaksBetween(out.back(), c);
            out.push_back(c);
        }
        if (plain) return out;
        out.clear();
    }
    for (const std::string& character : characters(s)) {
        std::size_t i = 0;
        out.push_back(nextScalar(character, i));
    }
    return out;
}

namespace {

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

bool isLowercasedNfc(std::string_view s) {
    if (!localeLowersAsciiPlainly() || !isValidUtf8(s)) return false;
    const Settled settled = settledForm(s);
    if (settled.exceptCapitals) return !settled.capitals;
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* normalizer = icu::Normalizer2::getNFCInstance(status);
    return lowercased(s) == s && U_SUCCESS(status) && normalizer->isNormalizedUTF8(s, status) &&
           U_SUCCESS(status);
}

std::string lowercasedNfc(std::string_view s) {
    if (localeLowersAsciiPlainly() && isValidUtf8(s) && settledForm(s).exceptCapitals) {
        std::string out(s);
        for (char& c : out)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        return out;
    }
    return nfc(lowercased(s));
}

namespace {

std::uint8_t traitsFromIcu(char32_t scalar) {
    const auto c = static_cast<UChar32>(scalar);
    std::uint8_t t = 0;
    if (u_charType(c) == U_DECIMAL_DIGIT_NUMBER) t |= Trait::decimalDigit;
    if (u_hasBinaryProperty(c, UCHAR_ALPHABETIC)) t |= Trait::letter;
    if (u_getIntPropertyValue(c, UCHAR_NUMERIC_TYPE) != U_NT_NONE) t |= Trait::number;
    const auto gcb = u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK);
    if (gcb == U_GCB_OTHER || gcb == U_GCB_CONTROL || gcb == U_GCB_LF) t |= Trait::ownCharacter;
    if (u_getIntPropertyValue(c, UCHAR_NFC_QUICK_CHECK) == UNORM_YES && u_getCombiningClass(c) == 0 &&
        !u_hasBinaryProperty(c, UCHAR_CHANGES_WHEN_LOWERCASED))
        t |= Trait::lowercasedNfc;
    return t;
}

// The BMP's traits in blocks of 256 scalars, each asked of ICU when first needed and then kept for the
// life of the process; a text touches only a few blocks. Threads that race to fill a block build the same
// values, and one of them publishes its copy.
using TraitBlock = std::array<std::uint8_t, 256>;

const TraitBlock& traitBlock(std::size_t block) {
    static std::array<std::atomic<const TraitBlock*>, 256> blocks{};
    if (const TraitBlock* known = blocks[block].load(std::memory_order_acquire)) return *known;
    auto built = std::make_unique<TraitBlock>();
    for (std::size_t k = 0; k < built->size(); ++k)
        (*built)[k] = traitsFromIcu(static_cast<char32_t>(block * 256 + k));
    const TraitBlock* expected = nullptr;
    if (blocks[block].compare_exchange_strong(expected, built.get(), std::memory_order_acq_rel))
        return *built.release();
    return *expected;
}

}  // namespace

std::uint8_t traits(char32_t scalar) {
    return scalar <= 0xFFFF ? traitBlock(scalar >> 8)[scalar & 0xFF] : traitsFromIcu(scalar);
}

bool isDecimalDigit(char32_t scalar) {
    if (scalar < 0x80) return scalar >= U'0' && scalar <= U'9';
    return (traits(scalar) & Trait::decimalDigit) != 0;
}

bool isLetter(char32_t scalar) { return (traits(scalar) & Trait::letter) != 0; }

bool isNumber(char32_t scalar) { return (traits(scalar) & Trait::number) != 0; }

bool isLetter(std::string_view character) {
    if (character.empty()) return false;
    std::size_t i = 0;
    return isLetter(nextScalar(character, i));
}

bool isNumber(std::string_view character) {
    if (character.empty()) return false;
    std::size_t i = 0;
    return isNumber(nextScalar(character, i));
}

bool isSpace(char32_t scalar) {
    return scalar == U'\t' || u_charType(static_cast<UChar32>(scalar)) == U_SPACE_SEPARATOR;
}

bool isNewline(char32_t scalar) {
    return (scalar >= 0x0A && scalar <= 0x0D) || scalar == 0x85 || scalar == 0x2028 || scalar == 0x2029;
}

std::string trim(std::string_view s) {
    std::string copy;
    if (!isValidUtf8(s)) {
        copy = toValidUtf8(s);
        s = copy;
    }
    // Only the ends are examined, so a long line costs one validity scan and one copy.
    std::size_t begin = 0;
    while (begin < s.size()) {
        std::size_t next = begin;
        if (!isSpace(nextScalar(s, next))) break;
        begin = next;
    }
    std::size_t end = s.size();
    while (end > begin) {
        const std::size_t start = previousScalarStart(s, end);
        std::size_t i = start;
        if (!isSpace(nextScalar(s, i))) break;
        end = start;
    }
    return std::string(s.substr(begin, end - begin));
}

}  // namespace tavori::Unicode
